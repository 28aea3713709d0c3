#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace dv {

/// The body of a URL-encoded form: each "name=value" line is split at its first
/// "=", name and value are encoded separately (UTF-8 bytes; A-Z a-z 0-9 * - . _
/// kept, a space as "+", every other byte as %XX in upper case) and the pairs are
/// joined with "&". A line without "=" is sent as a name with an empty value.
QByteArray EncodeFormBody(const QStringList& fields);

/// Posts the fields as a URL-encoded form and returns the answer's body as text.
///
/// An address starting with exactly "https://" takes the TLS route: HTTP/1.1,
/// "Connection: close", charset=utf-8 in the Content-Type, up to five redirects
/// (to http and https only), gzip answers decompressed, the final body returned
/// whatever its status, decoded by the answer's charset (UTF-8 when none or
/// unknown). Any other address takes the plain route: HTTP/1.0, no charset, no
/// redirect, any status but 2xx is an error whose message is the status line, the
/// body decoded by its charset or byte for byte (Latin-1).
///
/// timeoutMs bounds both the connection and each silence of the answer, and twice
/// timeoutMs bounds the whole call, however slowly the answer comes. An answer
/// over 1 MiB (after decompression) is an error. Certificates are always verified.
/// Blocks the calling thread; safe to call from several threads at once. Raises
/// dv::AppError with the transport's message on failure.
QString PostForm(const QString& address, const QStringList& fields, int timeoutMs);

/// The most an answer may hold, after decompression.
inline constexpr qsizetype MaxAnswerBytes = 1024 * 1024;

/// Test-only: while an instance lives, TLS peers are verified against the
/// certificate authority in pemFile instead of the system's store (tests make
/// their own authority for a fake service on loopback). Verification itself is
/// never switched off. One at a time; not for production code.
class ScopedTestCertificateAuthority {
public:
    explicit ScopedTestCertificateAuthority(const QString& pemFile);
    ~ScopedTestCertificateAuthority();
    ScopedTestCertificateAuthority(const ScopedTestCertificateAuthority&) = delete;
    ScopedTestCertificateAuthority& operator=(const ScopedTestCertificateAuthority&) = delete;

private:
    QString previous_;
};

} // namespace dv
