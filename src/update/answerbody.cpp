#include "answerbody.h"

#include "httpform.h"

#include <QList>

#include <zlib.h>

#include <cerrno>
#include <iconv.h>
#include <optional>

namespace dv {

namespace {

// Decodes through the C library's converters, which know the legacy code pages
// services still send. Nothing when the charset is unknown.
std::optional<QString> decodeWithIconv(const QByteArray& bytes, const QByteArray& charset)
{
    iconv_t cd = iconv_open("UTF-8", charset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray out;
    out.reserve(bytes.size() * 2 + 16);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char buffer[4096];
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, qsizetype(sizeof buffer - dstLeft));
        if (rc != size_t(-1))
            break;
        if (errno == E2BIG)
            continue;
        // An invalid or truncated sequence: mark it and go on with the next byte.
        out.append("\xEF\xBF\xBD");
        ++in;
        --inLeft;
    }
    iconv_close(cd);
    return QString::fromUtf8(out);
}

// Whether the Content-Encoding item names the identity, that is no encoding.
bool isIdentity(const QByteArray& item)
{
    return item.isEmpty() || item == "identity";
}

bool isGzip(const QByteArray& item)
{
    return item == "gzip" || item == "x-gzip";
}

} // namespace

struct AnswerBody::Inflater {
    z_stream stream {};
    bool ended = false;
    bool fed = false;

    Inflater() = default;
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() { inflateEnd(&stream); }
};

AnswerBody::AnswerBody(Route route)
    : route_(route)
{
}

AnswerBody::~AnswerBody() = default;

void AnswerBody::restart()
{
    encodings_.clear();
    started_ = false;
    tooLarge_ = false;
    error_.clear();
    body_.clear();
    inflater_.reset();
}

void AnswerBody::addContentEncoding(QByteArrayView value)
{
    if (route_ != Route::Tls || started_)
        return;
    if (!encodings_.isEmpty())
        encodings_ += ',';
    encodings_ += value;
}

bool AnswerBody::fail(const QString& why)
{
    error_ = why;
    return false;
}

bool AnswerBody::startDecoding()
{
    started_ = true;
    bool gzip = false;
    for (const QByteArray& part : encodings_.split(',')) {
        const QByteArray item = part.trimmed().toLower();
        if (isIdentity(item))
            continue;
        if (!isGzip(item) || gzip)
            return fail(QStringLiteral("The answer's content encoding \"%1\" is not supported")
                            .arg(QString::fromLatin1(encodings_.trimmed())));
        gzip = true;
    }
    if (!gzip)
        return true;
    inflater_ = std::make_unique<Inflater>();
    // 32 more window bits: a zlib header is taken as well as a gzip one.
    if (inflateInit2(&inflater_->stream, MAX_WBITS + 32) != Z_OK) {
        inflater_.reset();
        return fail(QStringLiteral("Cannot start decompressing the answer"));
    }
    return true;
}

bool AnswerBody::inflateSome(QByteArrayView bytes)
{
    Inflater& z = *inflater_;
    if (bytes.isEmpty())
        return true;
    if (z.ended)
        return fail(QStringLiteral("The answer holds more data after its compressed body"));
    z.fed = true;
    z.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.stream.avail_in = uInt(bytes.size());
    char out[16384];
    do {
        z.stream.next_out = reinterpret_cast<Bytef*>(out);
        z.stream.avail_out = sizeof out;
        const int rc = inflate(&z.stream, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            return fail(QStringLiteral("The answer's compressed body is damaged"));
        const qsizetype produced = qsizetype(sizeof out - z.stream.avail_out);
        if (body_.size() + produced > MaxAnswerBytes) {
            tooLarge_ = true;
            return fail(QStringLiteral("The answer is larger than %1 bytes").arg(MaxAnswerBytes));
        }
        body_.append(out, produced);
        if (rc == Z_STREAM_END) {
            z.ended = true;
            if (z.stream.avail_in > 0)
                return fail(QStringLiteral("The answer holds more data after its compressed body"));
            return true;
        }
    } while (z.stream.avail_out == 0);
    return true;
}

bool AnswerBody::append(QByteArrayView bytes)
{
    if (!error_.isEmpty())
        return false;
    if (!started_ && !startDecoding())
        return false;
    if (inflater_) {
        // zlib counts in 32 bits; the transport's pieces are far smaller, but any size works.
        constexpr qsizetype Step = qsizetype(1) << 30;
        for (qsizetype at = 0; at < bytes.size(); at += Step) {
            if (!inflateSome(bytes.sliced(at, qMin(Step, bytes.size() - at))))
                return false;
        }
        return true;
    }
    if (body_.size() + bytes.size() > MaxAnswerBytes) {
        tooLarge_ = true;
        return fail(QStringLiteral("The answer is larger than %1 bytes").arg(MaxAnswerBytes));
    }
    body_.append(bytes);
    return true;
}

bool AnswerBody::finish()
{
    if (!error_.isEmpty())
        return false;
    if (!started_ && !startDecoding())
        return false;
    // An empty body needs no gzip stream; a begun one must be whole.
    if (inflater_ && inflater_->fed && !inflater_->ended)
        return fail(QStringLiteral("The answer's compressed body ends early"));
    return true;
}

QString AnswerBody::text(const QByteArray& contentType) const
{
    return decodeAnswerText(body_, contentType, route_);
}

QByteArray charsetOf(const QByteArray& contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray param = parts[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        if (eq < 0 || param.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = param.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.trimmed().toLower();
    }
    return {};
}

QString decodeAnswerText(const QByteArray& body, const QByteArray& contentType, AnswerBody::Route route)
{
    const QByteArray charset = charsetOf(contentType);
    if (charset == "utf-8" || charset == "utf8")
        return QString::fromUtf8(body);
    if (!charset.isEmpty()) {
        if (charset == "iso-8859-1" || charset == "latin1")
            return QString::fromLatin1(body);
        if (const auto text = decodeWithIconv(body, charset))
            return *text;
    }
    return route == AnswerBody::Route::Plain ? QString::fromLatin1(body) : QString::fromUtf8(body);
}

} // namespace dv
