#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dv::test {

/// A throw-away certificate authority and a server certificate for 127.0.0.1 and
/// localhost, made with the openssl command into a folder the test owns.
///
///     QTemporaryDir dir;
///     const TestCertificates certs = TestCertificates::create(dir.path());
///     QVERIFY2(certs.ok(), qPrintable(certs.error));
///     dv::ScopedTestCertificateAuthority trust(certs.caFile); // PostForm trusts it
struct TestCertificates {
    QString caFile;   // PEM, hand this to the client
    QString certFile; // server certificate, PEM
    QString keyFile;  // server key, PEM
    QString error;    // why create() failed
    bool ok() const { return error.isEmpty(); }

    static TestCertificates create(const QString& folder);
};

/// One request as it arrived at the fake service.
struct ReceivedRequest {
    bool tls = false;
    QByteArray method;  // "POST"
    QByteArray path;    // "/php/check2.php"
    QByteArray version; // "HTTP/1.0" or "HTTP/1.1"
    QList<QPair<QByteArray, QByteArray>> headers; // in arrival order, names as sent
    QByteArray body;

    /// The first header of that name (compared without case), or null.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
};

/// What the fake service answers to one request.
struct ScriptedAnswer {
    int status = 200;
    QByteArray reason; // empty: the usual phrase for the status
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    /// Keep the connection open and never answer (until the client gives up).
    bool neverAnswer = false;
    /// Send the body gzip-compressed with "Content-Encoding: gzip".
    bool gzip = false;
    /// >= 0: instead of body, send this many "x" bytes generated while sending, so
    /// huge answers (and, with gzip, gzip bombs) cost the test no memory.
    qint64 generatedBodySize = -1;
    /// > 0: send the whole answer one byte at a time, this many milliseconds apart.
    int dripMs = 0;

    static ScriptedAnswer text(const QByteArray& body, const QByteArray& contentType = "text/plain", int status = 200);
    static ScriptedAnswer redirect(const QByteArray& location, int status = 302);
    static ScriptedAnswer silence();
};

/// A small web service on 127.0.0.1 for tests: records every request and answers
/// from a script. It runs on threads of its own, so a test may call a blocking
/// client (PostForm) on its own thread while the service answers. Each connection
/// carries one request and is closed after the answer.
///
/// Given certificates, the same port speaks both HTTPS and plain HTTP (it tells
/// them apart by the first byte), so "https://" + hostPort() and "http://" +
/// hostPort() reach the same service. Without, a TLS handshake is refused by
/// closing the connection, the way a plain web server fails a TLS client.
///
///     FakeService service(&certs);
///     QVERIFY(service.start());
///     service.setAnswer(ScriptedAnswer::text("OK"));
///     PostForm(service.url("https", "/php/feedback.php"), {"a=b"}, 3000);
///     QCOMPARE(service.requests().at(0).body, QByteArray("a=b"));
class FakeService {
public:
    explicit FakeService(const TestCertificates* certificates = nullptr);
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    /// Listens on an unused loopback port. False (with errorString()) on failure.
    bool start();
    /// Closes the port and every open connection, and waits for the threads.
    void stop();
    QString errorString() const { return error_; }

    quint16 port() const { return port_; }
    /// "127.0.0.1:PORT", the form DORVANTIS_WEB_HOST takes.
    QString hostPort() const;
    /// scheme + "://127.0.0.1:PORT" + path.
    QString url(const QString& scheme, const QString& path) const;

    /// The answer to every request (default: 200 "OK" as text/plain).
    void setAnswer(const ScriptedAnswer& answer);
    /// Chooses the answer per request; runs on the service's threads.
    void setHandler(std::function<ScriptedAnswer(const ReceivedRequest&)> handler);

    /// The requests so far, in arrival order.
    QList<ReceivedRequest> requests() const;
    /// Connections accepted so far, whether or not a request came.
    int connectionCount() const;
    /// Blocks until at least count requests have arrived or timeoutMs has passed.
    bool waitForRequests(int count, int timeoutMs) const;

private:
    void acceptLoop();
    void serve(int fd);

    struct Tls;
    std::unique_ptr<Tls> tls_;
    QString error_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    quint16 port_ = 0;
    bool stopping_ = false;

    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    ScriptedAnswer answer_;
    std::function<ScriptedAnswer(const ReceivedRequest&)> handler_;
    QList<ReceivedRequest> requests_;
    int connections_ = 0;
    std::vector<int> openFds_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

/// This process's peak resident memory in KiB since the last resetPeakMemory().
qint64 peakMemoryKiB();
void resetPeakMemory();

} // namespace dv::test
