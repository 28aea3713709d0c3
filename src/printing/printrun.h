#pragma once

#include <QString>
#include <QtGlobal>

class QEventLoop;

namespace dv
{

/// The delay the spin field's text asks for, in whole seconds: text that is not a
/// whole number counts as 0, and the value is kept within 0 and 999999999.
qint64 delaySecondsFromText(const QString& text);

/// The interval for the next leg of a wait of remainingMs: a timer's interval is
/// a 32-bit number of milliseconds, so longer waits run as a chain of legs.
int nextTimerLegMs(qint64 remainingMs);

/// Runs loop until something quits it. Once the application has been told to
/// quit, a new event loop returns at once; then this waits for the next events
/// instead, so a caller that loops until its condition holds never spins.
void execOrWait(QEventLoop& loop);

} // namespace dv
