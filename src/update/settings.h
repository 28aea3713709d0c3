#pragma once

#include "registry.h"

#include <QString>
#include <QtGlobal>

namespace dv {

/// The parent of every title's settings key.
inline constexpr const char* SettingsKeyParent = "SOFTWARE\\Microsoft\\VS\\ServiceModules\\";

/// The settings key name of an application title: MD5 over its characters as
/// single US-ASCII bytes (anything else counts as "?"), 32 upper-case hex digits.
QString SettingsKeyName(const QString& appTitle);

/// The seed every caller passes to ScrambleText and UnscrambleText.
inline constexpr quint8 ScrambleSeed = 0xA7;

/// Hides a text from casual reading in the store: its UTF-8 bytes XORed with a
/// running key that follows the scrambled bytes, as upper-case hex digits.
QString ScrambleText(const QString& text, quint8 seed);
/// The text ScrambleText was given. Case of the digits does not matter, an odd
/// last character is ignored, and anything that is not hex gives empty text.
QString UnscrambleText(const QString& hex, quint8 seed);

/// The update service's per-user settings: one registry key per application
/// title, used like an INI file. Each read or write reaches the registry afresh.
class SettingsStore {
public:
    /// Opens the title's key, creating it when missing. A key that cannot be
    /// created leaves the store usable: reads give defaults, writes raise. The
    /// store keeps its own handle on the registry file, so it may outlive the
    /// caller's (the update worker is not waited for at exit).
    SettingsStore(const RegistryStore& registry, const QString& appTitle);

    /// The full key path, for example SOFTWARE\Microsoft\VS\ServiceModules\<md5>.
    const QString& keyPath() const { return key_; }
    bool opened() const { return opened_; }

    /// The value's text, or the default when the section or value is missing.
    /// Raises AppError when the value is not of a string type.
    QString ReadString(const QString& section, const QString& name, const QString& defaultValue) const;
    /// The value's text as a decimal integer, or the default when it is missing
    /// or not a number. Raises AppError when the value is not of a string type.
    int ReadInteger(const QString& section, const QString& name, int defaultValue) const;
    /// Stores a string value, creating the section when missing. Raises AppError
    /// when the registry cannot be written.
    void WriteString(const QString& section, const QString& name, const QString& value);
    /// Stores the number's decimal text as a string value.
    void WriteInteger(const QString& section, const QString& name, int value);

private:
    QString sectionPath(const QString& section) const { return key_ + QLatin1Char('\\') + section; }

    RegistryStore registry_;
    QString key_;
    bool opened_ = false;
};

} // namespace dv
