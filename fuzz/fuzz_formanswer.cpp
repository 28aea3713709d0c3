// The form client's answer decoding without a network: the body's bytes as the
// transport hands them over (in pieces of any size), gzip undone on the TLS route, the
// 1 MiB bound, and the text by the Content-Type's charset.
//
// Input: a flags byte, a piece-size byte, the Content-Type up to the first LF, the
// Content-Encoding up to the next LF, then the body. Flags: bit 0 the TLS route; bit 1
// the target gzips the body itself (then sent as "gzip"), after repeating it 2^(bits
// 2-5) times, so that valid streams of any size reach the decoder, bombs included.
#include "answerbody.h"
#include "fuzzcheck.h"
#include "httpform.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>

using dv::AnswerBody;
using dv::fuzz::bytesOf;
using dv::fuzz::shown;

namespace {

QByteArray gzipped(const QByteArray& data)
{
    z_stream z {};
    if (deflateInit2(&z, 1, Z_DEFLATED, MAX_WBITS + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        abort();
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        abort();
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

struct Outcome {
    bool ok = false;
    bool tooLarge = false;
    QByteArray bytes;
};

// Feeds the body in pieces of the given size (0: all at once), checking the bound after
// every piece and that a refusal is final.
Outcome feed(AnswerBody::Route route, const QByteArray& encoding, const QByteArray& body, qsizetype piece)
{
    AnswerBody decoder(route);
    decoder.addContentEncoding(encoding);
    bool refused = false;
    const qsizetype step = piece > 0 ? piece : qMax<qsizetype>(1, body.size());
    for (qsizetype at = 0; at < body.size(); at += step) {
        const bool taken = decoder.append(QByteArrayView(body).sliced(at, qMin(step, body.size() - at)));
        FUZZ_CHECK(decoder.bytes().size() <= dv::MaxAnswerBytes, QString::number(decoder.bytes().size()));
        FUZZ_CHECK(taken || !decoder.error().isEmpty(), QStringLiteral("refused without a reason"));
        FUZZ_CHECK(!(refused && taken), QStringLiteral("took bytes after refusing"));
        refused = refused || !taken;
    }
    Outcome o;
    o.ok = decoder.finish();
    FUZZ_CHECK(!(refused && o.ok), QStringLiteral("finished after refusing"));
    o.tooLarge = decoder.tooLarge();
    o.bytes = decoder.bytes();
    return o;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const qsizetype piece = data[1];
    const auto route = (flags & 1) ? AnswerBody::Route::Tls : AnswerBody::Route::Plain;
    const QByteArray rest = bytesOf(data + 2, size - 2);
    const QList<QByteArray> parts = rest.split('\n');
    const QByteArray contentType = parts.value(0);
    QByteArray encoding = parts.value(1);
    QByteArray body = parts.size() > 2 ? rest.mid(contentType.size() + encoding.size() + 2) : QByteArray();

    QByteArray expanded; // what a valid gzip body holds
    const bool selfGzip = flags & 2;
    if (selfGzip) {
        const int repeat = 1 << ((flags >> 2) & 15);
        // Just past the bound at most, so a run stays quick.
        const qsizetype cap = dv::MaxAnswerBytes + 4096;
        expanded = body.repeated(qMin<qsizetype>(repeat, body.isEmpty() ? 1 : cap / body.size() + 1));
        body = gzipped(expanded);
        encoding = "gzip";
    }

    const Outcome whole = feed(route, encoding, body, 0);
    const Outcome pieces = feed(route, encoding, body, piece);
    // Where the transport cuts the body does not matter.
    FUZZ_CHECK(
        whole.ok == pieces.ok, QStringLiteral("whole %1, in pieces of %2: %3").arg(whole.ok).arg(piece).arg(pieces.ok));
    if (whole.ok)
        FUZZ_CHECK(whole.bytes == pieces.bytes, shown(whole.bytes) + " / " + shown(pieces.bytes));

    // Bodies that are not compressed come through as they are, within the bound.
    bool identity = true;
    for (const QByteArray& item : encoding.split(','))
        identity = identity && (item.trimmed().isEmpty() || item.trimmed().toLower() == "identity");
    if (route == AnswerBody::Route::Plain || identity) {
        FUZZ_CHECK(whole.ok == (body.size() <= dv::MaxAnswerBytes), QString::number(body.size()));
        FUZZ_CHECK(!whole.ok || whole.bytes == body, shown(whole.bytes));
        FUZZ_CHECK(whole.ok || whole.tooLarge, QStringLiteral("refused for another reason than the bound"));
    } else if (selfGzip) {
        // A valid stream is undone exactly, up to the bound, and refused beyond it.
        FUZZ_CHECK(whole.ok == (expanded.size() <= dv::MaxAnswerBytes), QString::number(expanded.size()));
        FUZZ_CHECK(
            whole.ok ? whole.bytes == expanded : whole.tooLarge && pieces.tooLarge, QString::number(expanded.size()));
    }

    // The text: UTF-8 when so named, or by default on the TLS route; never a crash.
    if (whole.ok) {
        AnswerBody decoder(route);
        decoder.append(whole.bytes);
        const QString text = decoder.text(contentType);
        FUZZ_CHECK(text == dv::decodeAnswerText(whole.bytes, contentType, route), shown(text));
        const QByteArray charset = dv::charsetOf(contentType);
        if (charset == "utf-8" || (charset.isEmpty() && route == AnswerBody::Route::Tls))
            FUZZ_CHECK(text == QString::fromUtf8(whole.bytes), shown(text));
        else if (charset.isEmpty())
            FUZZ_CHECK(text == QString::fromLatin1(whole.bytes), shown(text));
    }
    return 0;
}
