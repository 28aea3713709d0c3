#pragma once

#include <QString>
#include <QtGlobal>

namespace dv
{

/// The wait after each page load unless someone chose another, in seconds.
inline constexpr qint64 DefaultDelaySeconds = 2;

/// The delay the spin field's text asks for, in whole seconds: text that is not a
/// whole number counts as 0, and the value is kept within 0 and 999999999.
qint64 delaySecondsFromText(const QString& text);

/// The interval for the next leg of a wait of remainingMs: a timer's interval is
/// a 32-bit number of milliseconds, so longer waits run as a chain of legs.
int nextTimerLegMs(qint64 remainingMs);

/// The most characters of an entry that the status line, progress lines, warnings
/// and the Error Log show: a list may hold entries of megabytes.
inline constexpr qsizetype MaxShownEntryLength = 2000;

/// entry as those lines show it: its first MaxShownEntryLength characters, and
/// "…" when there was more.
QString shownEntry(const QString& entry);

/// A line "Label: ENTRY" as shown: what follows the first ": " cut by shownEntry.
QString shownEntryLine(const QString& line);

} // namespace dv
