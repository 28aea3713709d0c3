#include "fakeservice.h"

#include <thread>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace dv::test {

// ---- certificates ----

namespace {

bool runOpenssl(const QStringList& args, const QString& folder, QString* error)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2").arg(args.join(' '), QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

} // namespace

TestCertificates TestCertificates::create(const QString& folder)
{
    TestCertificates c;
    const QDir dir(folder);
    c.caFile = dir.filePath("ca.pem");
    c.certFile = dir.filePath("server.pem");
    c.keyFile = dir.filePath("server.key");
    const QByteArray caConfig = "[req]\ndistinguished_name = dn\nx509_extensions = v3_ca\nprompt = no\n"
                                "[dn]\nCN = Test Authority\n"
                                "[v3_ca]\nbasicConstraints = critical, CA:TRUE\n"
                                "keyUsage = critical, keyCertSign, cRLSign\nsubjectKeyIdentifier = hash\n";
    const QByteArray serverExt = "[v3]\nbasicConstraints = CA:FALSE\nkeyUsage = critical, digitalSignature\n"
                                 "extendedKeyUsage = serverAuth\nsubjectAltName = IP:127.0.0.1, DNS:localhost\n";
    const QByteArray serverConfig = "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = 127.0.0.1\n";
    if (!writeFile(dir.filePath("ca.cnf"), caConfig) || !writeFile(dir.filePath("server.ext"), serverExt)
        || !writeFile(dir.filePath("server.cnf"), serverConfig)) {
        c.error = QStringLiteral("cannot write into %1").arg(folder);
        return c;
    }
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QStringList makeAuthority
        = QStringList{"req", "-x509", "-config", "ca.cnf", "-days", "2", "-keyout", "ca.key", "-out", "ca.pem"} + ec;
    const QStringList makeRequest
        = QStringList{"req", "-new", "-config", "server.cnf", "-keyout", "server.key", "-out", "server.csr"} + ec;
    const QStringList signRequest{"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                                  "-CAcreateserial", "-days", "2", "-extfile", "server.ext", "-extensions", "v3",
                                  "-out", "server.pem"};
    // Each step runs only when the one before succeeded; error says which failed.
    runOpenssl(makeAuthority, folder, &c.error) && runOpenssl(makeRequest, folder, &c.error)
        && runOpenssl(signRequest, folder, &c.error);
    return c;
}

// ---- requests and answers ----

QByteArray ReceivedRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

bool ReceivedRequest::hasHeader(const QByteArray& name) const
{
    for (const auto& h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

ScriptedAnswer ScriptedAnswer::text(const QByteArray& body, const QByteArray& contentType, int status)
{
    ScriptedAnswer a;
    a.status = status;
    a.body = body;
    if (!contentType.isEmpty())
        a.headers.append({"Content-Type", contentType});
    return a;
}

ScriptedAnswer ScriptedAnswer::redirect(const QByteArray& location, int status)
{
    ScriptedAnswer a;
    a.status = status;
    a.headers.append({"Location", location});
    return a;
}

ScriptedAnswer ScriptedAnswer::silence()
{
    ScriptedAnswer a;
    a.neverAnswer = true;
    return a;
}

// ---- the service ----

struct FakeService::Tls {
    SSL_CTX* ctx = nullptr;
    ~Tls()
    {
        if (ctx)
            SSL_CTX_free(ctx);
    }
};

namespace {

QByteArray reasonFor(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// One connection's byte stream, plain or TLS.
class Stream {
public:
    Stream(int fd, SSL* ssl)
        : fd_(fd)
        , ssl_(ssl)
    {
    }
    qint64 read(char* buffer, int size)
    {
        if (ssl_)
            return SSL_read(ssl_, buffer, size);
        return ::recv(fd_, buffer, size_t(size), 0);
    }
    bool write(const char* data, qint64 size)
    {
        while (size > 0) {
            const qint64 n = ssl_ ? SSL_write(ssl_, data, int(qMin<qint64>(size, 1 << 20)))
                                  : ::send(fd_, data, size_t(size), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data += n;
            size -= n;
        }
        return true;
    }
    bool write(const QByteArray& bytes) { return write(bytes.constData(), bytes.size()); }

private:
    int fd_;
    SSL* ssl_;
};

bool readRequest(Stream& s, ReceivedRequest& r)
{
    QByteArray data;
    char buffer[4096];
    qsizetype headerEnd = -1;
    while ((headerEnd = data.indexOf("\r\n\r\n")) < 0) {
        if (data.size() > 256 * 1024)
            return false;
        const qint64 n = s.read(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        data.append(buffer, n);
    }
    const QList<QByteArray> lines = data.left(headerEnd).split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/"))
        return false;
    r.method = first[0];
    r.path = first[1];
    r.version = first[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (r.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0)
        s.write(QByteArray("HTTP/1.1 100 Continue\r\n\r\n"));
    const qint64 length = r.header("Content-Length").toLongLong();
    r.body = data.mid(headerEnd + 4);
    while (r.body.size() < length) {
        const qint64 n = s.read(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        r.body.append(buffer, n);
    }
    r.body.truncate(length);
    return true;
}

// Sends count generated bytes, gzip-compressed when asked, in small pieces.
bool sendGenerated(Stream& s, qint64 count, bool gzip)
{
    const QByteArray chunk(64 * 1024, 'x');
    if (!gzip) {
        while (count > 0) {
            const qint64 n = qMin<qint64>(count, chunk.size());
            if (!s.write(chunk.constData(), n))
                return false;
            count -= n;
        }
        return true;
    }
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    QByteArray out(64 * 1024, '\0');
    bool ok = true;
    int rc = Z_OK;
    do {
        const qint64 n = qMin<qint64>(count, chunk.size());
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.constData()));
        z.avail_in = uInt(n);
        count -= n;
        const int flush = count > 0 ? Z_NO_FLUSH : Z_FINISH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            rc = deflate(&z, flush);
            const qint64 produced = out.size() - qint64(z.avail_out);
            if (produced > 0 && !s.write(out.constData(), produced))
                ok = false;
        } while (ok && z.avail_out == 0);
    } while (ok && rc != Z_STREAM_END);
    deflateEnd(&z);
    return ok;
}

QByteArray gzipped(const QByteArray& data)
{
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&z, uLong(data.size()))) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.truncate(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

} // namespace

FakeService::FakeService(const TestCertificates* certificates)
    : tls_(std::make_unique<Tls>())
{
    answer_ = ScriptedAnswer::text("OK");
    if (!certificates)
        return;
    tls_->ctx = SSL_CTX_new(TLS_server_method());
    const QByteArray certFile = certificates->certFile.toLocal8Bit();
    const QByteArray keyFile = certificates->keyFile.toLocal8Bit();
    if (!tls_->ctx || SSL_CTX_use_certificate_chain_file(tls_->ctx, certFile.constData()) != 1
        || SSL_CTX_use_PrivateKey_file(tls_->ctx, keyFile.constData(), SSL_FILETYPE_PEM) != 1) {
        error_ = QStringLiteral("cannot load the test certificate");
        if (tls_->ctx)
            SSL_CTX_free(tls_->ctx);
        tls_->ctx = nullptr;
    }
}

FakeService::~FakeService()
{
    stop();
}

bool FakeService::start()
{
    if (!error_.isEmpty())
        return false;
    // A client that hangs up mid-answer must not end the test program.
    ::signal(SIGPIPE, SIG_IGN);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::listen(listenFd_, 64) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0
        || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        error_ = QStringLiteral("cannot listen on loopback: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
    return true;
}

void FakeService::stop()
{
    if (!acceptor_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    const char wake = 1;
    [[maybe_unused]] const auto n = ::write(wakePipe_[1], &wake, 1);
    acceptor_.join();
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers)
        t.join();
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    listenFd_ = wakePipe_[0] = wakePipe_[1] = -1;
}

QString FakeService::hostPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString FakeService::url(const QString& scheme, const QString& path) const
{
    return scheme + QStringLiteral("://") + hostPort() + path;
}

void FakeService::setAnswer(const ScriptedAnswer& answer)
{
    std::lock_guard lock(mutex_);
    answer_ = answer;
    handler_ = nullptr;
}

void FakeService::setHandler(std::function<ScriptedAnswer(const ReceivedRequest&)> handler)
{
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

QList<ReceivedRequest> FakeService::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

int FakeService::connectionCount() const
{
    std::lock_guard lock(mutex_);
    return connections_;
}

bool FakeService::waitForRequests(int count, int timeoutMs) const
{
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return requests_.size() >= count; });
}

void FakeService::acceptLoop()
{
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        ++connections_;
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd] { serve(fd); });
    }
}

void FakeService::serve(int fd)
{
    SSL* ssl = nullptr;
    unsigned char first = 0;
    const bool handshake = ::recv(fd, &first, 1, MSG_PEEK) == 1 && first == 0x16;
    bool usable = !handshake;
    if (handshake && tls_->ctx) {
        ssl = SSL_new(tls_->ctx);
        SSL_set_fd(ssl, fd);
        usable = SSL_accept(ssl) == 1;
    }

    if (usable) {
        Stream stream(fd, ssl);
        ReceivedRequest request;
        request.tls = ssl != nullptr;
        if (readRequest(stream, request)) {
            ScriptedAnswer answer;
            std::function<ScriptedAnswer(const ReceivedRequest&)> handler;
            {
                std::lock_guard lock(mutex_);
                requests_.append(request);
                answer = answer_;
                handler = handler_;
            }
            arrived_.notify_all();
            if (handler)
                answer = handler(request);

            if (answer.neverAnswer) {
                // Hold the connection until the client gives up or the service stops.
                char buffer[1024];
                while (stream.read(buffer, sizeof buffer) > 0) {
                }
            } else {
                const bool packed = answer.gzip && answer.generatedBodySize < 0;
                const QByteArray body = packed ? gzipped(answer.body) : answer.body;
                QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + ' '
                    + (answer.reason.isEmpty() ? reasonFor(answer.status) : answer.reason) + "\r\n";
                for (const auto& h : answer.headers)
                    head += h.first + ": " + h.second + "\r\n";
                if (answer.gzip)
                    head += "Content-Encoding: gzip\r\n";
                if (answer.generatedBodySize < 0)
                    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
                else if (!answer.gzip)
                    head += "Content-Length: " + QByteArray::number(answer.generatedBodySize) + "\r\n";
                head += "Connection: close\r\n\r\n";
                if (answer.dripMs > 0) {
                    // Never silent long enough to time out, never done: a byte now and then.
                    for (const char c : head + body) {
                        if (!stream.write(QByteArray(1, c)))
                            break;
                        std::this_thread::sleep_for(std::chrono::milliseconds(answer.dripMs));
                    }
                } else if (stream.write(head)) {
                    if (answer.generatedBodySize >= 0)
                        sendGenerated(stream, answer.generatedBodySize, answer.gzip);
                    else
                        stream.write(body);
                }
            }
        }
    }

    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    std::lock_guard lock(mutex_);
    std::erase(openFds_, fd);
    ::close(fd);
}

// ---- memory ----

qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void resetPeakMemory()
{
    // Writing 5 to clear_refs resets the peak resident size of the process.
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

} // namespace dv::test
