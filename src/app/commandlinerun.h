#pragma once

#include "commandline.h"

#include <QString>

#include <functional>
#include <memory>

namespace dv {

class PageSource;
class RunOutput;

/// What a test hands a run from the command line; every member has a working default.
struct CommandLineParts {
    /// Makes the page source. Empty: the real engine.
    std::function<std::unique_ptr<PageSource>()> pageSourceFactory;
    /// Makes where the run's pages go. Empty: the printer or PDF output asked for.
    std::function<std::unique_ptr<RunOutput>(const PrintDestination&)> outputFactory;
    /// Writes one line to standard error. Empty: standard error itself.
    std::function<void(const QString& line)> writeLine;
    /// How long a page may load before it is given up.
    int loadTimeoutMs = 60000;
};

/// Runs the print run a --print-all command line asks for to its end, with no
/// window: nothing written to the settings store, and no message box. Progress lines ("Page i of
/// n: ENTRY", then how it ended), the closing message and any error go to standard
/// error. Returns the exit status: 0 when every entry printed, 1 when some failed
/// (their Error Log lines go to standard error too), 2 when the list file cannot
/// be read or a failure ended the run (no printer, a folder that cannot be
/// written). Needs the application object.
int runPrintAll(const CommandLineRequest& request, CommandLineParts parts = {});

} // namespace dv
