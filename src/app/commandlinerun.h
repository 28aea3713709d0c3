#pragma once

#include "commandline.h"

class MainWindow;

namespace dv {

/// Runs the print run a --print-all command line asks for to its end, with no
/// person at the window: no update check, update notice or hint bar, nothing
/// written to the settings store, and no message box. Progress lines ("Page i of
/// n: ENTRY", then how it ended), the closing message and any error go to standard
/// error. Returns the exit status: 0 when every entry printed, 1 when some failed
/// (their Error Log lines go to standard error too), 2 when the list file cannot
/// be read or a failure ended the run (no printer, a folder that cannot be
/// written). Needs the application object.
int runPrintAll(const CommandLineRequest& request);

/// Hands the window what a command line without --print-all names: the list
/// file's lines and then the entries (as a file manager's "Open with" passes
/// them), the delay and the destination for this session (not stored). A list
/// file that cannot be read is shown by the default error dialog.
void openInWindow(MainWindow& window, const CommandLineRequest& request);

} // namespace dv
