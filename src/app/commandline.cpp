#include "commandline.h"

#include "errors.h"
#include "listfile.h"
#include "runengine.h"
#include "versioninfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace dv {

void addProgramOptions(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Prints many web pages in one run."));
    // Not addHelpOption(): its --help-all would list Qt's options of an application
    // object that this early answer does not have.
    parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Displays help on commandline options.")));
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(QStringLiteral("list"),
                                        QStringLiteral("Loads <file>, a list file (one page per line), into the list."),
                                        QStringLiteral("file")));
    parser.addOption(QCommandLineOption(
        QStringLiteral("print-all"),
        QStringLiteral("Prints every entry with no window needing a person, then exits: 0 when every entry printed, "
                       "1 when some failed, 2 for a usage error or a failure that ended the run. Progress goes to "
                       "standard error; no display is needed.")));
    parser.addOption(QCommandLineOption(QStringLiteral("delay"),
                                        QStringLiteral("Waits <seconds> after each page load (default 2)."),
                                        QStringLiteral("seconds")));
    parser.addOption(QCommandLineOption(QStringLiteral("jobs"),
                                        QStringLiteral("Loads up to <n> pages side by side, 1 to 16 (default 2, or "
                                                       "the window's choice); pages still print in list order."),
                                        QStringLiteral("n")));
    parser.addOption(QCommandLineOption(QStringLiteral("to"),
                                        QStringLiteral("Prints to <printer> instead of the default printer."),
                                        QStringLiteral("printer")));
    parser.addOption(QCommandLineOption(QStringLiteral("pdf-dir"),
                                        QStringLiteral("Writes one PDF file per entry into <dir> instead of "
                                                       "printing."),
                                        QStringLiteral("dir")));
    parser.addOption(QCommandLineOption(QStringLiteral("pdf"),
                                        QStringLiteral("Writes the printed entries into the one PDF file <file>, a "
                                                       "bookmark each, instead of printing."),
                                        QStringLiteral("file")));
    parser.addPositionalArgument(QStringLiteral("FILE_OR_URL"),
                                 QStringLiteral("Local HTML files and web addresses to add to the list."),
                                 QStringLiteral("[FILE_OR_URL...]"));
}

std::optional<CommandLineRequest> parseCommandLine(const QStringList& arguments, QString* error)
{
    QCommandLineParser parser;
    addProgramOptions(parser);
    auto fail = [error](const QString& message) -> std::optional<CommandLineRequest> {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());

    CommandLineRequest request;
    request.entries = parser.positionalArguments();
    request.listFile = parser.value(QStringLiteral("list"));
    request.printAll = parser.isSet(QStringLiteral("print-all"));

    const std::pair<const char*, PrintDestination::Kind> destinations[] = {
        {"to", PrintDestination::Kind::Printer},
        {"pdf-dir", PrintDestination::Kind::PdfFolder},
        {"pdf", PrintDestination::Kind::PdfFile},
    };
    for (const auto& [name, kind] : destinations) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option))
            continue;
        QString target = parser.value(option);
        if (kind != PrintDestination::Kind::Printer && !target.isEmpty())
            target = QFileInfo(target).absoluteFilePath();
        if (target.isEmpty())
            return fail(QStringLiteral("--%1 needs a value that is not empty.").arg(option));
        if (request.destination)
            return fail(QStringLiteral("Only one of --to, --pdf-dir and --pdf may be given."));
        request.destination = PrintDestination{kind, target};
    }
    if (parser.isSet(QStringLiteral("delay"))) {
        bool ok = false;
        const qint64 seconds = parser.value(QStringLiteral("delay")).toLongLong(&ok);
        if (!ok || seconds < 0 || seconds > 999999999)
            return fail(QStringLiteral("--delay takes whole seconds from 0 to 999999999, not \"%1\".")
                            .arg(parser.value(QStringLiteral("delay"))));
        request.delaySeconds = seconds;
    }
    if (parser.isSet(QStringLiteral("jobs"))) {
        bool ok = false;
        const int pages = parser.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || pages < 1 || pages > MaxPagesAtOnce)
            return fail(QStringLiteral("--jobs takes a whole number of pages from 1 to %1, not \"%2\".")
                            .arg(MaxPagesAtOnce)
                            .arg(parser.value(QStringLiteral("jobs"))));
        request.pagesAtOnce = pages;
    }
    if (request.printAll && request.listFile.isEmpty() && request.entries.isEmpty())
        return fail(QStringLiteral("--print-all needs --list FILE or at least one FILE_OR_URL."));
    return request;
}

QStringList requestedEntries(const CommandLineRequest& request)
{
    QStringList entries;
    if (!request.listFile.isEmpty())
        entries = loadListFile(request.listFile);
    return entries + request.entries;
}

QString usageHint()
{
    return QStringLiteral("Usage: dorvantis [options] [FILE_OR_URL...]\n"
                          "Try 'dorvantis --help' for more information.\n");
}

bool asksForPrintAll(int argc, char* argv[])
{
    // Options end at "--"; what follows is entries.
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            return false;
        if (argument == "--print-all")
            return true;
    }
    return false;
}

QString versionText(const QString& executablePath)
{
    ExeVersionData data;
    readExeVersionData(executablePath, data);
    return data.ProductName + QLatin1Char(' ') + formatVersion(readFileVersion(executablePath)) + QLatin1Char('\n')
        + data.LegalCopyright + QLatin1Char('\n');
}

std::optional<int> answerWithoutWindow(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    addProgramOptions(parser);
    if (!parser.parse(arguments) || !(parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))))
        return std::nullopt;

    // Enough of an application for the program's own path and name; no display.
    QCoreApplication app(argc, argv);
    QString text;
    try {
        text = parser.isSet(QStringLiteral("help")) ? parser.helpText()
                                                    : versionText(QCoreApplication::applicationFilePath());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], qPrintable(errorMessage(e)));
        return 2;
    }
    std::fputs(qPrintable(text), stdout);
    return 0;
}

} // namespace dv
