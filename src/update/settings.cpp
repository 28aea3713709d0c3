#include "settings.h"

#include "errors.h"

#include <QCryptographicHash>
#include <QList>
#include <QStringDecoder>

namespace dv {

namespace {

// The scrambling key's walk: key = (key + c) * M + A, in 16 bits.
constexpr quint16 ScrambleMultiplier = 40503;
constexpr quint16 ScrambleAddend = 12345;

quint16 nextKey(quint16 key, quint8 scrambled)
{
    // In unsigned 32 bits: 16-bit operands are promoted to int, whose product can
    // overflow (undefined), while the walk wants it modulo 65536.
    const quint32 sum = quint16(key + scrambled);
    return quint16(sum * ScrambleMultiplier + ScrambleAddend);
}

int hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

} // namespace

QString SettingsKeyName(const QString& appTitle)
{
    QByteArray ascii;
    for (const char32_t c : appTitle.toUcs4())
        ascii.append(c < 0x80 ? char(c) : '?');
    return QString::fromLatin1(QCryptographicHash::hash(ascii, QCryptographicHash::Md5).toHex().toUpper());
}

QString ScrambleText(const QString& text, quint8 seed)
{
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    quint16 key = seed;
    for (const char ch : text.toUtf8()) {
        const quint8 c = quint8(quint8(ch) ^ quint8(key >> 8));
        out += QLatin1Char(hex[c >> 4]);
        out += QLatin1Char(hex[c & 0x0F]);
        key = nextKey(key, c);
    }
    return out;
}

QString UnscrambleText(const QString& hex, quint8 seed)
{
    const QString upper = hex.toUpper();
    QByteArray plain;
    quint16 key = seed;
    for (qsizetype i = 0; i + 1 < upper.size(); i += 2) {
        const int high = hexDigit(upper[i]);
        const int low = hexDigit(upper[i + 1]);
        if (high < 0 || low < 0)
            return {};
        const auto c = quint8(high * 16 + low);
        plain.append(char(c ^ quint8(key >> 8)));
        key = nextKey(key, c);
    }
    // The text as it was scrambled: a leading U+FEFF is a character of it, where
    // QString::fromUtf8 would drop it as a byte-order mark.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8.decode(plain);
}

SettingsStore::SettingsStore(const RegistryStore& registry, const QString& appTitle)
    : registry_(registry)
    , key_(QLatin1String(SettingsKeyParent) + SettingsKeyName(appTitle))
{
    opened_ = registry_.createKey(key_);
}

QString SettingsStore::ReadString(const QString& section, const QString& name, const QString& defaultValue) const
{
    const auto value = registry_.queryValue(sectionPath(section), name);
    if (!value)
        return defaultValue;
    if (value->type != RegType::Sz && value->type != RegType::ExpandSz)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    return value->toText();
}

int SettingsStore::ReadInteger(const QString& section, const QString& name, int defaultValue) const
{
    const QString text = ReadString(section, name, QString());
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    return ok ? number : defaultValue;
}

void SettingsStore::WriteString(const QString& section, const QString& name, const QString& value)
{
    if (!registry_.setValue(sectionPath(section), name, RegValue::text(value)))
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

void SettingsStore::WriteInteger(const QString& section, const QString& name, int value)
{
    WriteString(section, name, QString::number(value));
}

} // namespace dv
