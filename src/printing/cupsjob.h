#pragma once

#include <QByteArray>
#include <QString>

namespace dv {

/// The name of the default CUPS destination. Raises dv::AppError that names the
/// cause when the printing system cannot be reached or no default printer is set up.
QString defaultPrinterName();

/// Raises dv::AppError that names the cause when the printing system cannot be
/// reached or has no destination called name.
void requirePrinter(const QString& name);

/// Submits a PDF document to a CUPS destination as one job and returns the job's
/// id once the whole document is handed over. Raises dv::AppError on failure.
int submitPdfJob(const QString& destination, const QString& jobName, const QByteArray& pdf);

/// The job name CUPS accepts for an address: its UTF-8 form with control
/// characters turned to spaces, cut at a character boundary to the 255 bytes a
/// job name may hold.
QByteArray cupsJobName(const QString& address);

} // namespace dv
