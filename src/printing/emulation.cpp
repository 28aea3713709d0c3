#include "emulation.h"

#include "errors.h"
#include "registry.h"

#include <QFileInfo>
#include <QtEndian>

namespace dv {

namespace {

QString key()
{
    return QString::fromLatin1(EmulationKey);
}

AppError namedError(const char* format, const QString& valueName)
{
    return AppError(QString::fromLatin1(format).arg(valueName));
}

} // namespace

QString emulationValueName(const QString& executablePath)
{
    return QFileInfo(executablePath).fileName();
}

std::optional<quint32> emulationValueForLevel(int level)
{
    if (level >= 8 && level <= 11)
        return quint32(level) * 1000;
    return std::nullopt;
}

std::optional<int> emulationLevelForValue(std::optional<quint32> value)
{
    if (!value)
        return 7;
    for (int level = 8; level <= 11; ++level) {
        if (*value == quint32(level) * 1000)
            return level;
    }
    return std::nullopt;
}

std::optional<quint32> readEmulationValue(RegistryStore& registry, const QString& valueName)
{
    // The key is made on every opening, reading included; a store that cannot be
    // written simply has no value in it.
    registry.createKey(key());
    const std::optional<RegValue> value = registry.queryValue(key(), valueName);
    if (!value)
        return std::nullopt;
    // A four-byte read: longer data does not fit, whatever its type.
    if (value->data.size() > 4)
        throw namedError("Failed to get data for '%1'", valueName);
    if (value->type != RegType::Dword)
        throw namedError("Invalid data type for '%1'", valueName);
    QByteArray bytes = value->data;
    bytes.append(QByteArray(4 - bytes.size(), '\0'));
    return qFromLittleEndian<quint32>(bytes.constData());
}

void writeEmulationLevel(RegistryStore& registry, const QString& valueName, int level)
{
    if (level != 7) {
        const std::optional<quint32> number = emulationValueForLevel(level);
        if (!number)
            throw AppError(QStringLiteral("Unknown browser emulation level %1").arg(level));
        if (!registry.setValue(key(), valueName, RegValue::dword(*number)))
            throw namedError("Failed to set data for '%1'", valueName);
        return;
    }
    registry.createKey(key());
    if (!registry.queryValue(key(), valueName))
        return;
    // A value left behind would keep the old level in force while the user is
    // asked to restart for the new one.
    if (!registry.deleteValue(key(), valueName) && registry.queryValue(key(), valueName))
        throw namedError("Failed to set data for '%1'", valueName);
}

} // namespace dv
