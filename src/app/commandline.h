#pragma once

#include "destination.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>

namespace dv {

/// Declares the program's options and arguments on parser.
void addProgramOptions(QCommandLineParser& parser);

/// What the command line asks for, once read.
struct CommandLineRequest {
    /// FILE_OR_URL...: entries for the list, as written.
    QStringList entries;
    /// --list FILE: a list file whose lines go into the list before the entries.
    QString listFile;
    /// --print-all: one print run without a person, then the program ends.
    bool printAll = false;
    /// --delay S, in whole seconds.
    std::optional<qint64> delaySeconds;
    /// --to PRINTER, --pdf-dir DIR or --pdf FILE.
    std::optional<PrintDestination> destination;
    /// --jobs N: how many pages load side by side.
    std::optional<int> pagesAtOnce;
};

/// The list file's lines, then the entries named one by one. Raises dv::AppError
/// when the list file cannot be read.
QStringList requestedEntries(const CommandLineRequest& request);

/// Reads the arguments (the program's name first; Qt's own options already taken
/// off by the application object). A usage error gives nothing, and says what is
/// wrong in error.
std::optional<CommandLineRequest> parseCommandLine(const QStringList& arguments, QString* error);

/// The usage line and where to read more, for after a usage error's message.
QString usageHint();

/// True when the arguments ask for --print-all. Read before the application object
/// exists, so that such a run can be given a platform that needs no display.
bool asksForPrintAll(int argc, char* argv[]);

/// The --version text, GNU style: product name and version, then the copyright,
/// all from the version resource of the executable at executablePath.
QString versionText(const QString& executablePath);

/// Answers --help and --version before any window or display exists, printing to
/// standard output. Returns the exit status when the program is to end there, or
/// nothing when it is to start. Arguments it does not know are not its business:
/// Qt's own (such as -platform) are taken off later by the application object.
std::optional<int> answerWithoutWindow(int argc, char* argv[]);

} // namespace dv
