#include "commandlinerun.h"

#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "listfile.h"
#include "mainwindow.h"
#include "registry.h"
#include "services.h"
#include "shell.h"

#include <algorithm>
#include <cstdio>
#include <exception>

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
            writeLine(QStringLiteral("dorvantis: ") + withLineBreaks(text));
        } else {
            writeLine(withLineBreaks(text));
        }
    }
    bool askYesNo(QWidget*, const QString& text) override
    {
        writeLine(withLineBreaks(text) + QStringLiteral(" No."));
        return false;
    }
    void beep() override { }
    QStringList getOpenFileNames(QWidget*, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString getSaveFileName(QWidget*, const QString&, const QString&) override { return {}; }

    /// An error box was due: something ended what was under way.
    bool errorShown = false;
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

// The list file's lines, then the entries named one by one.
QStringList requestedEntries(const CommandLineRequest& request)
{
    QStringList entries;
    if (!request.listFile.isEmpty())
        entries = loadListFile(request.listFile);
    return entries + request.entries;
}

} // namespace

int runPrintAll(const CommandLineRequest& request)
{
    // Logging rules of the caller's own mean someone wants to see it all.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qInstallMessageHandler(keepOwnWarnings);
    ConsoleDialogs dialogs;
    DesktopShell shell;
    RegistryStore registry(RegistryStore::defaultPath());
    Services services {dialogs, shell, registry};
    installErrorDialogs(&dialogs);
    struct Uninstall {
        ~Uninstall() { installErrorDialogs(nullptr); }
    } uninstall;

    QStringList entries;
    try {
        entries = requestedEntries(request);
    } catch (const std::exception& e) {
        writeLine(QStringLiteral("dorvantis: ") + defaultErrorText(errorMessage(e)));
        return 2;
    }
    // A list emptied by mistake must not pass for a run that went well, night after night.
    if (std::all_of(entries.cbegin(), entries.cend(), [](const QString& entry) { return entry.trimmed().isEmpty(); })) {
        writeLine(QStringLiteral("dorvantis: The list has no pages to print."));
        return 2;
    }
    AppParts parts;
    parts.unattended = true;
    parts.runProgress = writeLine;
    MainWindow window(services, parts);
    window.appendEntries(entries);
    if (request.delaySeconds)
        window.setDelaySeconds(*request.delaySeconds);
    if (request.destination)
        window.setPrintDestination(*request.destination);

    // What start-up reported (a damaged version resource, say) does not end the run.
    dialogs.errorShown = false;
    window.printAll();
    if (dialogs.errorShown)
        return 2;
    if (window.navigateErrorCount() == 0)
        return 0;
    for (const QString& line : window.errorLogLines())
        writeLine(line);
    return 1;
}

void openInWindow(MainWindow& window, const CommandLineRequest& request)
{
    if (request.delaySeconds)
        window.setDelaySeconds(*request.delaySeconds);
    if (request.destination)
        window.setPrintDestination(*request.destination);
    try {
        window.appendEntries(requestedEntries(request));
    } catch (...) {
        // The window opens all the same, with the entries named one by one.
        showDefaultError(std::current_exception());
        window.appendEntries(request.entries);
    }
}

} // namespace dv
