#include "listfile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dv {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F. The five bytes it leaves
// undefined map to the control characters of the same value, as Windows does.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : char16_t(b));
    }
    return out;
}

QString decodeWith(QStringConverter::Encoding encoding, QByteArrayView bytes, bool* failed = nullptr)
{
    // A second mark after the one already taken off is a character of the text.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (failed)
        *failed = decoder.hasError();
    return text;
}

QString systemReason(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

AppError openError(const QString& path, const QString& reason)
{
    return AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
}

// Closes the descriptor on every way out of the reader.
struct FdGuard {
    int fd;
    ~FdGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

QString decodeListText(const QByteArray& bytes)
{
    QByteArrayView view(bytes);
    QString text;
    if (view.startsWith("\xEF\xBB\xBF")) {
        text = decodeWith(QStringConverter::Utf8, view.sliced(3));
    } else if (view.startsWith("\xFF\xFE")) {
        text = decodeWith(QStringConverter::Utf16LE, view.sliced(2));
    } else if (view.startsWith("\xFE\xFF")) {
        text = decodeWith(QStringConverter::Utf16BE, view.sliced(2));
    } else {
        // In the locale's encoding and in Windows-1252 alike a NUL byte is the NUL
        // character, so the text can be cut before it is decoded; whether it is
        // valid then depends only on the part that is kept.
        const qsizetype nul = view.indexOf('\0');
        if (nul >= 0)
            view.truncate(nul);
        bool invalid = false;
        text = decodeWith(QStringConverter::System, view, &invalid);
        // Lists saved on systems with an 8-bit code page keep their accented names.
        if (invalid)
            text = fromWindows1252(view);
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

namespace {

// Calls line(begin, length) for every line of the text: breaks at CR LF, a lone CR
// and a lone LF; a break at the very end gives no extra empty line.
template <typename OnLine>
void forEachListLine(QStringView text, OnLine&& line)
{
    const QChar* const begin = text.data();
    const QChar* const end = begin + text.size();
    const QChar* start = begin;
    for (const QChar* p = begin; p != end; ++p) {
        const char16_t c = p->unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        line(start, p - start);
        if (c == u'\r' && p + 1 != end && p[1] == u'\n')
            ++p;
        start = p + 1;
    }
    if (start != end)
        line(start, end - start);
}

} // namespace

QStringList splitListLines(QStringView text)
{
    QStringList lines;
    forEachListLine(text, [&](const QChar* begin, qsizetype length) { lines.append(QString(begin, length)); });
    return lines;
}

qsizetype countListLines(QStringView text)
{
    qsizetype lines = 0;
    forEachListLine(text, [&](const QChar*, qsizetype) { ++lines; });
    return lines;
}

QStringList decodeListFile(const QByteArray& bytes)
{
    return splitListLines(decodeListText(bytes));
}

QByteArray encodeListFile(const QStringList& entries)
{
    if (entries.isEmpty())
        return QByteArray();
    const QString crlf = QStringLiteral("\r\n");
    QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    return encoder.encode(entries.join(crlf) + crlf);
}

QStringList loadListFile(const QString& path)
{
    // Not blocking on open: a named pipe chosen by mistake must not hang the window.
    const QByteArray native = QFile::encodeName(path);
    FdGuard file{::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (file.fd < 0)
        throw openError(path, systemReason(errno));
    struct stat st = {};
    if (::fstat(file.fd, &st) != 0)
        throw openError(path, systemReason(errno));
    // Devices such as /dev/zero never end; only regular files are lists.
    if (S_ISDIR(st.st_mode))
        throw openError(path, systemReason(EISDIR));
    if (!S_ISREG(st.st_mode))
        throw openError(path, QStringLiteral("It is not a regular file"));
    const QString tooLarge = QStringLiteral("The file is larger than %1 MB").arg(MaxListFileBytes / (1024 * 1024));
    if (st.st_size > MaxListFileBytes)
        throw openError(path, tooLarge);

    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            // The file grew while it was read.
            if (bytes.size() > MaxListFileBytes)
                throw openError(path, tooLarge);
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t n = ::read(file.fd, bytes.data() + used, size_t(bytes.size() - used));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AppError(QStringLiteral("Cannot read file \"%1\". %2")
                               .arg(QDir::toNativeSeparators(path), systemReason(errno)));
        }
        if (n == 0)
            break;
        used += n;
    }
    bytes.truncate(used);
    const QString text = decodeListText(bytes);
    bytes.clear();
    if (countListLines(text) > MaxListFileLines)
        throw openError(path, QStringLiteral("The file holds more than %1 lines").arg(MaxListFileLines));
    return splitListLines(text);
}

void saveListFile(const QString& path, const QStringList& entries)
{
    const QByteArray bytes = encodeListFile(entries);
    const auto createError = [&](const QString& reason) {
        return AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason));
    };
    // The replacing save below would put a regular file in place of a device or a
    // pipe; a list belongs in a regular file only.
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            throw createError(systemReason(EISDIR));
        if (!S_ISREG(st.st_mode))
            throw createError(QStringLiteral("It is not a regular file"));
    }
    // The old content is replaced only once the new one is completely on disk, so
    // a full disk cannot leave the user with half a list.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throw createError(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(
            QStringLiteral("Cannot write file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString()));
}

} // namespace dv
