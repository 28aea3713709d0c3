#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

namespace dv {

/// The body of a form answer as its bytes arrive, and its text. On the TLS route a gzip
/// Content-Encoding (the only one the request offers) is undone as the bytes come in;
/// on both routes the body is held to MaxAnswerBytes after that, so a huge answer or a
/// gzip bomb costs no more memory than the bound. Needs no network: PostForm feeds it.
class AnswerBody {
public:
    enum class Route { Tls, Plain };

    explicit AnswerBody(Route route);
    ~AnswerBody();
    AnswerBody(const AnswerBody&) = delete;
    AnswerBody& operator=(const AnswerBody&) = delete;

    /// Another response begins (after a redirect or an interim one): forgets its bytes,
    /// its encoding and any error.
    void restart();

    /// A Content-Encoding header's value, given before the body; several add up as a
    /// list. Only the TLS route asks for an encoding, so the plain route ignores it.
    void addContentEncoding(QByteArrayView value);

    /// Takes the next bytes of the body. False, with error() set, when the body grows
    /// over the bound, or its encoding is not gzip or identity, or its gzip data is
    /// damaged or followed by more data; from then on it takes nothing more.
    bool append(QByteArrayView bytes);

    /// The body is complete. False, with error() set, when an error came earlier or a
    /// gzip stream ends before its end.
    bool finish();

    /// Why append or finish refused; empty while all is well.
    const QString& error() const { return error_; }
    /// Whether the refusal was the bound.
    bool tooLarge() const { return tooLarge_; }

    /// The body as far as it came, decoded from gzip; never more than MaxAnswerBytes.
    const QByteArray& bytes() const { return body_; }

    /// The body's text by the charset the Content-Type names (decodeAnswerText).
    QString text(const QByteArray& contentType) const;

private:
    struct Inflater;
    bool fail(const QString& why);
    bool startDecoding();
    bool inflateSome(QByteArrayView bytes);

    Route route_;
    QByteArray encodings_;
    bool started_ = false;
    bool tooLarge_ = false;
    QString error_;
    QByteArray body_;
    std::unique_ptr<Inflater> inflater_;
};

/// The charset parameter of a Content-Type value, lower-cased, without quotes; empty
/// when it names none.
QByteArray charsetOf(const QByteArray& contentType);

/// An answer body's text by the charset its Content-Type names. UTF-8 when it names
/// UTF-8, and on the TLS route also when it names none or one the system does not
/// know; on the plain route those give each byte as the character of the same code.
QString decodeAnswerText(const QByteArray& body, const QByteArray& contentType, AnswerBody::Route route);

} // namespace dv
