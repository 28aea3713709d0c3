#include "enginesandbox.h"

#include <QStringList>

namespace dv {

namespace {

// Whether the engine's own flags hold its --no-sandbox switch, which it also
// accepts with one dash or with a value.
bool flagsSwitchSandboxOff(const QString& flags)
{
    for (QString flag : flags.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (flag.startsWith(QLatin1String("--")))
            flag.remove(0, 2);
        else if (flag.startsWith(QLatin1Char('-')))
            flag.remove(0, 1);
        else
            continue;
        if (flag.section(QLatin1Char('='), 0, 0) == QLatin1String("no-sandbox"))
            return true;
    }
    return false;
}

} // namespace

std::optional<QString> engineSandboxRefusal(uint userId, const QProcessEnvironment& environment)
{
    if (userId != 0 || environment.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"))
        || flagsSwitchSandboxOff(environment.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"))))
        return std::nullopt;
    return QStringLiteral("Dorvantis cannot run as root: its web page engine does not start for root with its "
                          "sandbox. Start it as an ordinary user, or set QTWEBENGINE_DISABLE_SANDBOX=1 to run it "
                          "as root without the sandbox");
}

} // namespace dv
