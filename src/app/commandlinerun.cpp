#include "commandlinerun.h"

#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "destination.h"
#include "pagesource.h"
#include "printrun.h"
#include "runengine.h"
#include "runoutput.h"
#include "webenginebrowser.h"
#include "registry.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>

#include <QCoreApplication>
#include <QFileInfo>

namespace dv {

namespace {

void writeLine(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

/// Dialogs of a run nobody watches: a message becomes lines on standard error, a
/// question is answered "no" and a file dialog is cancelled.
class ConsoleDialogs : public Dialogs {
public:
    void messageBox(QWidget*, const QString& text, const QString&, int flags) override
    {
        if (flags == MB_ICONERROR) {
            errorShown = true;
            write(QStringLiteral("dorvantis: ") + withLineBreaks(text));
        } else {
            write(withLineBreaks(text));
        }
    }
    bool askYesNo(QWidget*, const QString& text) override
    {
        write(withLineBreaks(text) + QStringLiteral(" No."));
        return false;
    }
    void beep() override { }
    QStringList getOpenFileNames(QWidget*, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString getSaveFileName(QWidget*, const QString&, const QString&) override { return {}; }

    /// An error box was due: something ended what was under way.
    bool errorShown = false;
    std::function<void(const QString&)> write = writeLine;
};

// Qt's and the engine's remarks about the missing display and graphics would bury
// the progress lines. The program's own warnings stay, since they give a failed
// page's cause, but not its error log, which repeats the error line.
void keepOwnWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QLatin1String category(context.category ? context.category : "");
    const bool own = category.startsWith(QLatin1String("dorvantis.")) && category != QLatin1String("dorvantis.errors");
    if (type == QtCriticalMsg || type == QtFatalMsg || (own && type == QtWarningMsg))
        writeLine(qFormatLogMessage(type, context, message));
}

/// Writes the lines a run from the command line shows: each entry as it starts and
/// how it ended; keeps the Error Log's lines for after the closing message.
class ConsoleRunView {
public:
    ConsoleRunView(RunEngine& run, const std::function<qint64()>& count, const std::function<void(const QString&)>& write)
    {
        auto line = [count](qint64 position, const QString& text) {
            return QStringLiteral("Page %1 of %2: %3").arg(position + 1).arg(count()).arg(text);
        };
        QObject::connect(&run, &RunEngine::entryStarted, &run, [line, write](qint64 position, const QString& address) {
            write(line(position, shownEntry(address)));
        });
        QObject::connect(&run, &RunEngine::entryFailed, &run,
            [this](qint64, EntryFailure kind, const QString& subject) { errorLog << shownEntryLine(errorLogLine(kind, subject)); });
        QObject::connect(&run, &RunEngine::entryDone, &run, [line, write](qint64 position, const EntryResult& result) {
            using Outcome = EntryResult::Outcome;
            write(line(position,
                result.outcome == Outcome::Printed           ? QStringLiteral("printed")
                    : result.outcome == Outcome::PrintError ? QStringLiteral("print error")
                                                            : QStringLiteral("navigate error")));
        });
    }

    QStringList errorLog;
};

} // namespace

int runPrintAll(const CommandLineRequest& request, CommandLineParts parts)
{
    // Logging rules of the caller's own mean someone wants to see it all.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES") && !parts.pageSourceFactory)
        qInstallMessageHandler(keepOwnWarnings);
    ConsoleDialogs dialogs;
    installErrorDialogs(&dialogs);
    struct Uninstall {
        ~Uninstall() { installErrorDialogs(nullptr); }
    } uninstall;
    const std::function<void(const QString&)> write = parts.writeLine ? parts.writeLine : writeLine;
    dialogs.write = write;

    QStringList entries;
    try {
        entries = requestedEntries(request);
    } catch (const std::exception& e) {
        write(QStringLiteral("dorvantis: ") + defaultErrorText(errorMessage(e)));
        return 2;
    }
    // A list emptied by mistake must not pass for a run that went well, night after night.
    if (std::all_of(entries.cbegin(), entries.cend(), [](const QString& entry) { return entry.trimmed().isEmpty(); })) {
        write(QStringLiteral("dorvantis: The list has no pages to print."));
        return 2;
    }
    // A file named relative to the caller's folder is loaded from there.
    for (QString& entry : entries) {
        const QFileInfo file(entry);
        if (!entry.isEmpty() && file.exists())
            entry = file.absoluteFilePath();
    }

    RegistryStore registry(RegistryStore::defaultPath());
    std::unique_ptr<PageSource> pages
        = parts.pageSourceFactory ? parts.pageSourceFactory() : std::make_unique<WebEngineBrowser>(nullptr, &registry);
    const PrintDestination destination = request.destination.value_or(PrintDestination {});
    const std::unique_ptr<RunOutput> output
        = parts.outputFactory ? parts.outputFactory(destination) : makeRunOutput(destination);
    RunSettings settings;
    const qint64 delaySeconds = request.delaySeconds.value_or(DefaultDelaySeconds);
    settings.delaySeconds = [delaySeconds] { return delaySeconds; };
    settings.pagesAtOnce = request.pagesAtOnce.value_or(pagesAtOnce(registry));
    settings.loadTimeoutMs = parts.loadTimeoutMs;
    RunEngine run(*pages, *output, RunEntries::fixed(entries), settings);
    ConsoleRunView view(run, [&entries] { return qint64(entries.size()); }, write);

    RunSummary summary;
    bool ended = false;
    QObject::connect(&run, &RunEngine::finished, &run, [&](const RunSummary& result) {
        summary = result;
        ended = true;
        QCoreApplication::exit(0);
    });
    run.start();
    // The run ends the application's event loop; a quit from elsewhere (a signal's
    // handler) ends it early.
    while (!ended)
        QCoreApplication::exec();
    if (summary.error) {
        showDefaultError(summary.error);
        return 2;
    }
    if (summary.errorLines == 0) {
        write(QStringLiteral("Successfully completed."));
        return 0;
    }
    write(withLineBreaks(QStringLiteral("Completed with errors!\rPlease check Error Log.")));
    for (const QString& line : std::as_const(view.errorLog))
        write(line);
    return 1;
}

} // namespace dv
