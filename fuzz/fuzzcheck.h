#pragma once

// What the fuzz targets share: a property check that stops the run with a message
// (libFuzzer then saves the input as a reproducer), and a way to show text in it.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace dv::fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n%s\n", file, line, condition, detail.toUtf8().constData());
    std::abort();
}

/// Text as escaped UTF-16 code units, so line breaks and odd characters show.
inline QString shown(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'"' && u != u'\\')
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return out + QLatin1Char('"');
}

inline QString shown(const QStringList& list)
{
    QStringList parts;
    for (const QString& s : list)
        parts << shown(s);
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

inline QString shown(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.left(256).toHex(' ')) + (bytes.size() > 256 ? QStringLiteral(" ...") : QString());
}

/// The fuzzer's bytes in a byte array of their own, as the program holds what it reads
/// (NUL-terminated, sized exactly, so a read past the end reaches AddressSanitizer).
inline QByteArray bytesOf(const unsigned char* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

} // namespace dv::fuzz

/// Fails the run with the condition and a detail (a QString) when the condition is false.
#define FUZZ_CHECK(condition, detail)                                                                                  \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::dv::fuzz::fail(__FILE__, __LINE__, #condition, (detail));                                                \
    } while (false)
