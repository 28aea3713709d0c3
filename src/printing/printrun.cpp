#include "printrun.h"

#include <QCoreApplication>
#include <QEventLoop>

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

void execOrWait(QEventLoop& loop)
{
    if (loop.exec() == -1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace dv
