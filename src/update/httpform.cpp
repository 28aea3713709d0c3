#include "httpform.h"

#include "answerbody.h"
#include "errors.h"

#include <QMutex>
#include <QMutexLocker>

#include <curl/curl.h>

#include <chrono>
#include <memory>

namespace dv {

namespace {

QMutex testCaMutex;
QString testCaFile; // guarded by testCaMutex

QString currentTestCaFile()
{
    QMutexLocker lock(&testCaMutex);
    return testCaFile;
}

bool keptAsIs(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-'
        || c == '.' || c == '_';
}

void appendEncoded(QByteArray& out, const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (const char ch : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptAsIs(c)) {
            out += char(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
}

struct CurlEasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Transfer {
    using Clock = std::chrono::steady_clock;
    explicit Transfer(AnswerBody::Route route) : body(route) {}
    AnswerBody body;
    QByteArray statusLine;
    bool silentTooLong = false;
    std::chrono::milliseconds timeout{0};
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastBytes = 0;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    // Refusing the bytes (over the bound, bad gzip) makes the transfer fail with a write error.
    return t->body.append(QByteArrayView(data, qsizetype(n))) ? n : 0;
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, qsizetype(n)).trimmed();
    // Each response (a redirect's too) starts with its status line.
    if (line.startsWith("HTTP/")) {
        t->statusLine = line;
        t->body.restart();
    } else if (line.left(17).toLower() == "content-encoding:") {
        t->body.addContentEncoding(QByteArrayView(line).sliced(17));
    }
    return n;
}

// The response time-out: no bytes moving in either direction for that long ends
// the request. libcurl's own low-speed limit only counts whole seconds.
int onProgress(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow)
{
    Q_UNUSED(dlTotal);
    Q_UNUSED(ulTotal);
    auto* t = static_cast<Transfer*>(user);
    const auto now = Transfer::Clock::now();
    const curl_off_t bytes = dlNow + ulNow;
    if (bytes != t->lastBytes) {
        t->lastBytes = bytes;
        t->lastActivity = now;
        return 0;
    }
    if (now - t->lastActivity >= t->timeout) {
        t->silentTooLong = true;
        return 1;
    }
    return 0;
}

// The connection is up (TLS included): the response time-out counts from here,
// so a slow connection does not eat into it.
int onConnected(void* user, char*, char*, int, int)
{
    auto* t = static_cast<Transfer*>(user);
    t->lastActivity = Transfer::Clock::now();
    return CURL_PREREQFUNC_OK;
}

void check(CURLcode rc)
{
    if (rc != CURLE_OK)
        throw AppError(QString::fromUtf8(curl_easy_strerror(rc)));
}

void ensureCurlInitialised()
{
    // curl_global_init is not thread-safe in older libcurl; do it once, first.
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    check(rc);
}

} // namespace

QByteArray EncodeFormBody(const QStringList& fields)
{
    QByteArray body;
    for (const QString& field : fields) {
        if (!body.isEmpty())
            body += '&';
        const qsizetype eq = field.indexOf(QLatin1Char('='));
        appendEncoded(body, eq < 0 ? field : field.left(eq));
        body += '=';
        if (eq >= 0)
            appendEncoded(body, field.mid(eq + 1));
    }
    return body;
}

QString PostForm(const QString& address, const QStringList& fields, int timeoutMs)
{
    ensureCurlInitialised();
    const bool tls = address.startsWith(QLatin1String("https://"));
    QString target = address;
    if (!tls) {
        // The plain route speaks plain HTTP whatever the scheme's spelling, so
        // "HTTPS://host/" reaches the host's HTTP port without TLS.
        const qsizetype sep = target.indexOf(QLatin1String("://"));
        if (sep >= 0 && target.left(sep).compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
            target = QLatin1String("http") + target.mid(sep);
    }

    std::unique_ptr<CURL, CurlEasyDeleter> curl(curl_easy_init());
    if (!curl)
        throw AppError(QStringLiteral("Cannot create the HTTP client"));
    CURL* h = curl.get();

    const QByteArray url = target.toUtf8();
    const QByteArray body = EncodeFormBody(fields);
    const QByteArray caFile = currentTestCaFile().toLocal8Bit();
    Transfer transfer(tls ? AnswerBody::Route::Tls : AnswerBody::Route::Plain);
    transfer.timeout = std::chrono::milliseconds(qMax(1, timeoutMs));
    char errorText[CURL_ERROR_SIZE] = {};

    curl_slist* rawHeaders = nullptr;
    if (tls) {
        rawHeaders = curl_slist_append(rawHeaders, "Connection: close");
        rawHeaders = curl_slist_append(rawHeaders, "Content-Type: application/x-www-form-urlencoded; charset=utf-8");
    } else {
        rawHeaders = curl_slist_append(rawHeaders, "Content-Type: application/x-www-form-urlencoded");
    }
    // Send the body at once instead of asking the server first.
    rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    std::unique_ptr<curl_slist, CurlListDeleter> headers(rawHeaders);

    check(curl_easy_setopt(h, CURLOPT_URL, url.constData()));
    check(curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText));
    check(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    // The TLS route starts on https but may be redirected to plain http.
    check(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, tls ? "http,https" : "http"));
    check(curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    // No proxy from the environment: the service is reached directly.
    check(curl_easy_setopt(h, CURLOPT_PROXY, ""));
    check(curl_easy_setopt(h, CURLOPT_POST, 1L));
    check(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size())));
    check(curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.constData()));
    check(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()));
    check(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(transfer.timeout.count())));
    // And the whole attempt, connection and answer together, takes at most twice
    // that, however slowly a server drips its answer.
    check(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(2 * transfer.timeout.count())));
    check(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
    check(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress));
    check(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
    check(curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &onConnected));
    check(curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer));
    check(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody));
    check(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
    check(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader));
    check(curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer));
    check(curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L));
    check(curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L));
    if (!caFile.isEmpty())
        check(curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData()));
    if (tls) {
        check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L));
        check(curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L));
        check(curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip"));
        // The bytes come as sent: AnswerBody undoes the gzip, within the bound.
        check(curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L));
    } else {
        check(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0)));
        check(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
    }

    const CURLcode rc = curl_easy_perform(h);
    if (!transfer.body.error().isEmpty())
        throw AppError(transfer.body.error());
    if (transfer.silentTooLong)
        throw AppError(QStringLiteral("The operation timed out"));
    if (rc != CURLE_OK) {
        const QString detail = QString::fromUtf8(errorText).trimmed();
        throw AppError(detail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(rc)) : detail);
    }

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (!tls && (status < 200 || status > 299))
        throw AppError(QString::fromLatin1(transfer.statusLine));

    if (!transfer.body.finish())
        throw AppError(transfer.body.error());

    char* contentType = nullptr;
    curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
    return transfer.body.text(contentType ? QByteArray(contentType) : QByteArray());
}

ScopedTestCertificateAuthority::ScopedTestCertificateAuthority(const QString& pemFile)
{
    QMutexLocker lock(&testCaMutex);
    previous_ = testCaFile;
    testCaFile = pemFile;
}

ScopedTestCertificateAuthority::~ScopedTestCertificateAuthority()
{
    QMutexLocker lock(&testCaMutex);
    testCaFile = previous_;
}

} // namespace dv
