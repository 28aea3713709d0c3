#pragma once

#include <QByteArray>
#include <QString>

namespace dv {

/// The longest any one exchange with the printing system may take (a connection,
/// a request and its answer, a piece of a document). A scheduler that keeps silent
/// past it ends the run with "The printing system at HOST:PORT does not answer.".
inline constexpr int CupsExchangeSeconds = 30;

/// The name of the default CUPS destination. Raises dv::AppError that names the
/// cause when the printing system cannot be reached or no default printer is set up.
QString defaultPrinterName();

/// Raises dv::AppError that names the cause when the printing system cannot be
/// reached or has no destination called name.
void requirePrinter(const QString& name);

/// Raises dv::AppError when the scheduler accepts a connection but does not
/// answer; one that cannot be reached at all is left to the first page, as it
/// always was.
void requireAnsweringScheduler();

/// True when the scheduler accepts a connection but does not answer, for callers
/// that would otherwise ask it through Qt, which sets no bound of its own.
bool schedulerKeepsSilent();

/// Submits a PDF document to a CUPS destination as one job and returns the job's
/// id once the whole document is handed over. Raises dv::AppError on failure.
int submitPdfJob(const QString& destination, const QString& jobName, const QByteArray& pdf);

/// The job name CUPS accepts for an address: its UTF-8 form with control
/// characters turned to spaces, cut at a character boundary to the 255 bytes a
/// job name may hold.
QByteArray cupsJobName(const QString& address);

} // namespace dv
