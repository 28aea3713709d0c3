#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace dv {

class RegistryStore;

/// The per-user key that holds the browser emulation value of each executable.
inline constexpr const char* EmulationKey
    = "Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

/// The emulation value's name: the executable's file name without its folder, so
/// a renamed executable starts from no value.
QString emulationValueName(const QString& executablePath);

/// The stored number for a level: 8000 to 11000 for levels 8 to 11; level 7 is
/// stored as no value at all.
std::optional<quint32> emulationValueForLevel(int level);

/// The level a stored value stands for: 7 for no value, 8 to 11 for their four
/// numbers, nothing for any other number.
std::optional<int> emulationLevelForValue(std::optional<quint32> value);

/// Opens the key (creating it when missing) and reads the value as a DWORD.
/// Nothing when there is no such value. Raises dv::AppError "Failed to get data
/// for '<name>'" when the data is longer than four bytes, and "Invalid data type
/// for '<name>'" when the value is not a DWORD.
std::optional<quint32> readEmulationValue(RegistryStore& registry, const QString& valueName);

/// Stores a level (7 to 11): writes its DWORD, or for level 7 deletes the value if
/// there is one. Raises dv::AppError "Failed to set data for '<name>'" when the
/// store cannot be changed.
void writeEmulationLevel(RegistryStore& registry, const QString& valueName, int level);

} // namespace dv
