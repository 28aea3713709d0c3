#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace dv {

/// Registry value types, numbered as on Windows.
enum class RegType : quint32 {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    Qword = 11,
};

/// One typed value. data holds the bytes as the Windows registry keeps them
/// (text as UTF-16LE with its terminating NUL, a DWORD as 4 little-endian bytes),
/// so callers can reason about sizes the way the program expects.
struct RegValue {
    RegType type = RegType::Sz;
    QByteArray data;

    static RegValue text(const QString& value, RegType type = RegType::Sz);
    static RegValue dword(quint32 value);
    static RegValue qword(quint64 value);
    static RegValue binary(const QByteArray& bytes);
    /// The text of a string value (up to its first NUL).
    QString toText() const;
    /// The number of a DWORD value (0 when data is shorter than 4 bytes).
    quint32 toDword() const;
    /// The number of a QWORD value (0 when data is shorter than 8 bytes).
    quint64 toQword() const;
};

/// The per-user registry (HKEY_CURRENT_USER) kept in one file. Key paths are
/// backslash-separated and compared without regard to case, as value names are.
///
/// Every operation reads the file afresh; every write takes a lock file, re-reads,
/// changes one thing and replaces the file atomically, so two running instances
/// lose nothing. A damaged file is set aside (renamed) on the next write and read
/// as empty meanwhile; that is reported only in the log, once per file and process.
///
/// A DWORD or QWORD whose stored number is not a whole number within its range
/// (text, true, null, 1.5, 2^32 for a DWORD) reads with no data at all, and a
/// value whose type is not such a number reads as RegType::None: readers that
/// want four or eight bytes of a type ignore it as they ignore any other type.
class RegistryStore {
public:
    explicit RegistryStore(QString filePath);

    /// $XDG_CONFIG_HOME/dorvantis/registry.json (XDG_CONFIG_HOME defaults to ~/.config).
    static QString defaultPath();
    const QString& filePath() const { return path_; }

    /// Creates the key (and its parents) when missing. False when the store
    /// cannot be written.
    bool createKey(const QString& key);
    bool keyExists(const QString& key) const;
    std::optional<RegValue> queryValue(const QString& key, const QString& name) const;
    /// Writes the value, creating the key when missing. False when the store
    /// cannot be written.
    bool setValue(const QString& key, const QString& name, const RegValue& value);
    /// False when there was no such value or the store cannot be written.
    bool deleteValue(const QString& key, const QString& name);

private:
    QString path_;
};

} // namespace dv
