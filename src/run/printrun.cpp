#include "printrun.h"

#include <algorithm>
#include <limits>

namespace dv
{

qint64 delaySecondsFromText(const QString& text)
{
    constexpr qint64 maxSeconds = 999999999;
    bool ok = false;
    const qint64 seconds = text.trimmed().toLongLong(&ok);
    if (!ok)
        return 0;
    return std::clamp<qint64>(seconds, 0, maxSeconds);
}

int nextTimerLegMs(qint64 remainingMs)
{
    return static_cast<int>(std::clamp<qint64>(remainingMs, 0, std::numeric_limits<int>::max()));
}

QString shownEntry(const QString& entry)
{
    if (entry.size() <= MaxShownEntryLength)
        return entry;
    qsizetype cut = MaxShownEntryLength;
    // A character of two UTF-16 units stays whole or goes.
    if (entry.at(cut - 1).isHighSurrogate())
        --cut;
    return entry.left(cut) + QChar(0x2026);
}

QString shownEntryLine(const QString& line)
{
    const qsizetype label = line.indexOf(QLatin1String(": "));
    if (line.size() <= MaxShownEntryLength || label < 0)
        return line.size() <= MaxShownEntryLength ? line : shownEntry(line);
    return line.left(label + 2) + shownEntry(line.mid(label + 2));
}

} // namespace dv
