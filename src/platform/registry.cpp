#include "registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QLoggingCategory>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QtEndian>

#include <cstdint>
#include <functional>
#include <optional>

Q_LOGGING_CATEGORY(lcRegistry, "dorvantis.registry")

namespace dv {

// ---- values ----

RegValue RegValue::text(const QString& value, RegType type)
{
    QByteArray bytes;
    bytes.reserve((value.size() + 1) * 2);
    for (QChar c : value) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append('\0');
    bytes.append('\0');
    return {type, bytes};
}

RegValue RegValue::dword(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return {RegType::Dword, bytes};
}

RegValue RegValue::qword(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(value, bytes.data());
    return {RegType::Qword, bytes};
}

RegValue RegValue::binary(const QByteArray& bytes)
{
    return {RegType::Binary, bytes};
}

QString RegValue::toText() const
{
    QString out;
    for (qsizetype i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = char16_t(quint8(data[i]) | (quint8(data[i + 1]) << 8));
        if (c == 0)
            break;
        out.append(QChar(c));
    }
    return out;
}

quint32 RegValue::toDword() const
{
    if (data.size() < 4)
        return 0;
    return qFromLittleEndian<quint32>(data.constData());
}

quint64 RegValue::toQword() const
{
    if (data.size() < 8)
        return 0;
    return qFromLittleEndian<quint64>(data.constData());
}

// ---- the file ----
//
// {"keys": [{"path": "Software\\X", "values": [{"name": "a", "type": 4, "dword": 8000}]}]}
// Text values are kept as "text", DWORDs as "dword", QWORDs as "qword" (as "hex"
// beyond 2^63 - 1, where JSON readers stop reading integers exactly), anything
// else as "hex".

namespace {

struct Store {
    QJsonArray keys;
};

QString normalisedKey(const QString& key)
{
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

bool sameKey(const QString& a, const QString& b)
{
    return normalisedKey(a).compare(normalisedKey(b), Qt::CaseInsensitive) == 0;
}

QJsonObject valueToJson(const QString& name, const RegValue& v)
{
    QJsonObject o{{QStringLiteral("name"), name}, {QStringLiteral("type"), qint64(v.type)}};
    if ((v.type == RegType::Sz || v.type == RegType::ExpandSz) && v.data == RegValue::text(v.toText(), v.type).data)
        o.insert(QStringLiteral("text"), v.toText());
    else if (v.type == RegType::Dword && v.data.size() == 4)
        o.insert(QStringLiteral("dword"), qint64(v.toDword()));
    else if (v.type == RegType::Qword && v.data.size() == 8 && v.toQword() <= quint64(INT64_MAX))
        o.insert(QStringLiteral("qword"), qint64(v.toQword()));
    else
        o.insert(QStringLiteral("hex"), QString::fromLatin1(v.data.toHex()));
    return o;
}

// The number a JSON value holds when it is a whole number from 0 to max; nothing
// for text, true, null, a fraction or a number out of range, which a cast would
// have turned into 0 or cut to its low bits.
std::optional<quint64> wholeNumber(const QJsonValue& json, quint64 max)
{
    if (!json.isDouble())
        return std::nullopt;
    // Whole numbers up to 2^63 - 1 come back exactly; beyond, JSON has only doubles.
    const qint64 integer = json.toInteger(-1);
    if (integer >= 0)
        return quint64(integer) <= max ? std::optional<quint64>(quint64(integer)) : std::nullopt;
    const double number = json.toDouble();
    if (number >= 0x1p63 && number < 0x1p64 && quint64(number) <= max)
        return quint64(number);
    return std::nullopt;
}

RegValue valueFromJson(const QJsonObject& o)
{
    RegValue v;
    const QJsonValue type = o.value(QStringLiteral("type"));
    v.type = type.isUndefined() ? RegType::Sz : RegType(wholeNumber(type, UINT32_MAX).value_or(0));
    if (o.contains(QStringLiteral("text"))) {
        v.data = RegValue::text(o.value(QStringLiteral("text")).toString(), v.type).data;
    } else if (o.contains(QStringLiteral("dword"))) {
        if (const std::optional<quint64> n = wholeNumber(o.value(QStringLiteral("dword")), UINT32_MAX))
            v.data = RegValue::dword(quint32(*n)).data;
    } else if (o.contains(QStringLiteral("qword"))) {
        if (const std::optional<quint64> n = wholeNumber(o.value(QStringLiteral("qword")), UINT64_MAX))
            v.data = RegValue::qword(*n).data;
    } else
        v.data = QByteArray::fromHex(o.value(QStringLiteral("hex")).toString().toLatin1());
    return v;
}

enum class ReadResult { Ok, Missing, Damaged };

ReadResult readStore(const QString& path, Store& out)
{
    QFile file(path);
    if (!file.exists())
        return ReadResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Damaged;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()
        || !doc.object().value(QStringLiteral("keys")).isArray())
        return ReadResult::Damaged;
    out.keys = doc.object().value(QStringLiteral("keys")).toArray();
    for (const QJsonValue& k : std::as_const(out.keys)) {
        if (!k.isObject() || !k.toObject().value(QStringLiteral("path")).isString()
            || !k.toObject().value(QStringLiteral("values")).isArray())
            return ReadResult::Damaged;
    }
    return ReadResult::Ok;
}

// Each query reads the file afresh: say once per file that it is damaged, not once
// per value read.
void reportDamagedOnce(const QString& path)
{
    static QMutex mutex;
    static QSet<QString> reported;
    const QMutexLocker locker(&mutex);
    if (reported.contains(path))
        return;
    reported.insert(path);
    qCWarning(lcRegistry) << "registry file is damaged and is read as empty:" << path;
}

Store readForQuery(const QString& path)
{
    Store s;
    if (readStore(path, s) == ReadResult::Damaged) {
        reportDamagedOnce(path);
        return {};
    }
    return s;
}

int findKey(const Store& s, const QString& key)
{
    for (int i = 0; i < s.keys.size(); ++i) {
        if (sameKey(s.keys[i].toObject().value(QStringLiteral("path")).toString(), key))
            return i;
    }
    return -1;
}

int findValue(const QJsonArray& values, const QString& name)
{
    for (int i = 0; i < values.size(); ++i) {
        if (values[i].toObject().value(QStringLiteral("name")).toString().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int ensureKey(Store& s, const QString& key)
{
    // Parents first, so that a key never exists without the keys above it.
    const QStringList parts = normalisedKey(key).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    int index = -1;
    for (int n = 1; n <= parts.size(); ++n) {
        const QString path = parts.mid(0, n).join(QLatin1Char('\\'));
        index = findKey(s, path);
        if (index < 0) {
            s.keys.append(QJsonObject{{QStringLiteral("path"), path}, {QStringLiteral("values"), QJsonArray()}});
            index = int(s.keys.size()) - 1;
        }
    }
    return index;
}

// Runs one change under the lock, on a fresh read of the file. The change returns
// whether it modified the store; the file is replaced only then.
bool modify(const QString& path, const std::function<bool(Store&)>& change, bool* changed = nullptr)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(10000)) {
        qCWarning(lcRegistry) << "registry file stays locked:" << path;
        return false;
    }
    Store s;
    if (readStore(path, s) == ReadResult::Damaged) {
        const QString aside = path + QStringLiteral(".damaged-")
            + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddHHmmsszzz"));
        QFile::rename(path, aside);
        qCWarning(lcRegistry) << "registry file was damaged; set aside as" << aside;
        s = Store{};
    }
    const bool didChange = change(s);
    if (changed)
        *changed = didChange;
    if (!didChange)
        return true;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("keys"), s.keys}}).toJson(QJsonDocument::Indented));
    return file.commit();
}

} // namespace

RegistryStore::RegistryStore(QString filePath)
    : path_(std::move(filePath))
{
}

QString RegistryStore::defaultPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/dorvantis/registry.json");
}

bool RegistryStore::createKey(const QString& key)
{
    return modify(path_, [&](Store& s) {
        if (findKey(s, key) >= 0)
            return false;
        ensureKey(s, key);
        return true;
    });
}

bool RegistryStore::keyExists(const QString& key) const
{
    return findKey(readForQuery(path_), key) >= 0;
}

std::optional<RegValue> RegistryStore::queryValue(const QString& key, const QString& name) const
{
    const Store s = readForQuery(path_);
    const int k = findKey(s, key);
    if (k < 0)
        return std::nullopt;
    const QJsonArray values = s.keys[k].toObject().value(QStringLiteral("values")).toArray();
    const int v = findValue(values, name);
    if (v < 0)
        return std::nullopt;
    return valueFromJson(values[v].toObject());
}

bool RegistryStore::setValue(const QString& key, const QString& name, const RegValue& value)
{
    return modify(path_, [&](Store& s) {
        const int k = ensureKey(s, key);
        QJsonObject keyObject = s.keys[k].toObject();
        QJsonArray values = keyObject.value(QStringLiteral("values")).toArray();
        const int v = findValue(values, name);
        if (v >= 0)
            values[v] = valueToJson(name, value);
        else
            values.append(valueToJson(name, value));
        keyObject.insert(QStringLiteral("values"), values);
        s.keys[k] = keyObject;
        return true;
    });
}

bool RegistryStore::deleteValue(const QString& key, const QString& name)
{
    bool changed = false;
    const bool ok = modify(path_, [&](Store& s) {
        const int k = findKey(s, key);
        if (k < 0)
            return false;
        QJsonObject keyObject = s.keys[k].toObject();
        QJsonArray values = keyObject.value(QStringLiteral("values")).toArray();
        const int v = findValue(values, name);
        if (v < 0)
            return false;
        values.removeAt(v);
        keyObject.insert(QStringLiteral("values"), values);
        s.keys[k] = keyObject;
        return true;
    }, &changed);
    return ok && changed;
}

} // namespace dv
