#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace dv::test
{

/// A small web server on loopback for the engine's tests. Paths:
///   /page/NAME      200, a page showing NAME
///   /slow/NAME      200, a page showing NAME, sent after slowPageMs
///   /missing/NAME   404, a page showing NAME
///   /hang           accepts and never answers
///   /partial/NAME   200, the start of a page showing NAME, and then nothing more
///   /dialogs/NAME   a page that calls alert, confirm, prompt and window.open and
///                   asks for permissions while loading, then shows NAME and "after-dialogs"
///   /auth           401 asking for a login
///   /download       a file the browser would save
///   /loop/NAME      a page showing NAME whose script never yields once loaded
///   /slow.css       a stylesheet sent after slowCssMs, adding "STYLED-BY-CSS" after h1
///   /pic.png        a small picture
///   /slow-pic.png   the same picture, sent after slowPicMs
///   /endless/NAME   200, a page showing NAME with no length, and then nothing more
///   /error/NAME     500, a page showing NAME
///   /redirect/NAME  302 to /page/NAME
///   /redirect-loop  302 to itself
///   /hostile/KIND/NAME  a page showing NAME that misbehaves as KIND says (see hostileScript)
/// Given a TLS configuration it serves the same over HTTPS.
class PageServer : public QObject
{
public:
    explicit PageServer(const QSslConfiguration& tls = QSslConfiguration())
    {
        if (!tls.isNull()) {
            auto* ssl = new QSslServer();
            ssl->setSslConfiguration(tls);
            server_.reset(ssl);
        } else {
            server_ = std::make_unique<QTcpServer>();
        }
        scheme_ = tls.isNull() ? QStringLiteral("http") : QStringLiteral("https");
        auto drain = [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection())
                serve(socket);
        };
        connect(server_.get(), &QTcpServer::newConnection, this, drain);
        connect(server_.get(), &QTcpServer::pendingConnectionAvailable, this, drain);
        server_->listen(QHostAddress::LocalHost, 0);
    }
    ~PageServer() override { server_.reset(); }

    QString url(const QString& path) const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme_).arg(server_->serverPort()).arg(path);
    }
    int requests = 0;
    /// The paths asked for, in order.
    QList<QByteArray> paths;
    int slowCssMs = 10000;
    int slowPageMs = 800;
    int slowPicMs = 10000;

private:
    static QByteArray page(const QByteArray& body, const QByteArray& script = QByteArray())
    {
        return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>test page</title></head><body>" + script
            + "<h1>" + body + "</h1></body></html>";
    }

    // What a hostile page does, by kind; each page shows its NAME all the same.
    static QByteArray hostileScript(const QByteArray& kind, const QByteArray& name)
    {
        const QByteArray target = "/page/" + name;
        if (kind == "print")
            return "<script>window.print(); onload = function () { window.print(); };</script>";
        if (kind == "hang-after-print")
            return "<script>addEventListener('afterprint', function () { setTimeout(function () { for (;;) {} }, 0); });"
                   "</script>";
        if (kind == "beforeunload")
            return "<script>onbeforeunload = function (e) { e.preventDefault(); e.returnValue = 'stay'; return 'stay'; };"
                   "</script>";
        if (kind == "popups")
            return "<script>onload = function () { window.open('/page/popup'); alert('x'); confirm('y'); };</script>";
        if (kind == "navigate-during")
            return "<script>location.replace('" + target + "');</script>";
        if (kind == "navigate-after")
            return "<script>onload = function () { setTimeout(function () { location.href = '" + target
                + "'; }, 200); };</script>";
        if (kind == "refresh")
            return "<meta http-equiv=\"refresh\" content=\"0; url=" + target + "\">";
        if (kind == "refresh-late")
            return "<meta http-equiv=\"refresh\" content=\"1; url=" + target + "\">";
        if (kind == "reload")
            return "<script>onload = function () { setTimeout(function () { location.reload(); }, 100); };</script>";
        if (kind == "download-during")
            return "<script>location.href = '/download';</script>";
        if (kind == "download-after")
            return "<a id=\"http\" href=\"/download\">file</a>"
                   "<a id=\"data\" href=\"data:text/plain,hello\" download=\"x.txt\">data</a>"
                   "<script>onload = function () { document.getElementById('http').click();"
                   " document.getElementById('data').click();"
                   " setTimeout(function () { location.href = '/download'; }, 300); };</script>";
        if (kind == "download-frame")
            return "<iframe src=\"/download\"></iframe>";
        if (kind == "close")
            return "<script>onload = function () { window.close(); };</script>";
        if (kind == "close-during")
            return "<script>window.close();</script>";
        if (kind == "permissions")
            return "<script>try { navigator.geolocation.getCurrentPosition(function () {}, function () {}); } catch (e) {}"
                   "try { Notification.requestPermission(); } catch (e) {}"
                   "try { navigator.mediaDevices.getUserMedia({ video: true, audio: true }).catch(function () {}); }"
                   " catch (e) {}"
                   "try { navigator.clipboard.readText().catch(function () {}); } catch (e) {}</script>";
        if (kind == "late")
            return "<script>onload = function () { setTimeout(function () {"
                   " document.body.insertAdjacentHTML('beforeend', '<p>late content</p>'); }, 300); };</script>";
        if (kind == "history")
            return "<script>for (var i = 0; i < 50; ++i) history.pushState({}, '', '#s' + i);"
                   " onload = function () { history.back(); history.go(-10); location.hash = 'end'; };</script>";
        if (kind == "huge")
            return "<div>" + QByteArray("<p>A long paragraph of filler text that fills sheet after sheet.</p>").repeated(2000)
                + "</div>";
        return {};
    }

    static QByteArray picture()
    {
        return QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");
    }

    static void answer(QTcpSocket* socket, const QByteArray& status, const QByteArray& headers, const QByteArray& body)
    {
        socket->write("HTTP/1.0 " + status + "\r\n" + headers + "Content-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    void serve(QTcpSocket* socket)
    {
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& buffer = buffers_[socket];
            buffer += socket->readAll();
            if (!buffer.contains("\r\n\r\n"))
                return;
            ++requests;
            const QList<QByteArray> request = buffer.left(buffer.indexOf("\r\n")).split(' ');
            const QByteArray path = request.value(1);
            paths << path;
            buffers_.remove(socket);
            if (path == "/hang") {
                hanging_ << socket;
                return;
            }
            if (path.startsWith("/partial/")) {
                const QByteArray start = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>partial</title>"
                                         "</head><body><h1>"
                    + path.mid(9) + "</h1><!-- " + QByteArray(2048, '.') + " -->";
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 1000000\r\n\r\n"
                    + start);
                hanging_ << socket;
                return;
            }
            if (path.startsWith("/endless/")) {
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" + page(path.mid(9)));
                hanging_ << socket;
                return;
            }
            if (path == "/slow.css") {
                QTimer::singleShot(slowCssMs, socket, [socket] {
                    answer(socket, "200 OK", "Content-Type: text/css\r\n",
                        "h1::after { content: \" STYLED-BY-CSS\"; }");
                });
                return;
            }
            if (path == "/slow-pic.png") {
                QTimer::singleShot(slowPicMs, socket, [socket] { answer(socket, "200 OK", "Content-Type: image/png\r\n", picture()); });
                return;
            }
            if (path.startsWith("/slow/")) {
                QTimer::singleShot(slowPageMs, socket, [socket, name = path.mid(6)] {
                    answer(socket, "200 OK", "Content-Type: text/html; charset=utf-8\r\n", page(name));
                });
                return;
            }
            QByteArray status = "200 OK";
            QByteArray headers = "Content-Type: text/html; charset=utf-8\r\n";
            QByteArray body;
            if (path.startsWith("/page/")) {
                body = page(path.mid(6));
            } else if (path.startsWith("/missing/")) {
                status = "404 Not Found";
                body = page(path.mid(9));
            } else if (path.startsWith("/dialogs/")) {
                body = page(path.mid(9),
                    "<script>alert('a'); confirm('c'); prompt('p', 'x'); window.open('about:blank');"
                    "try { navigator.geolocation.getCurrentPosition(function(){}, function(){}); } catch (e) {}"
                    "try { Notification.requestPermission(); } catch (e) {}"
                    "try { document.documentElement.requestFullscreen(); } catch (e) {}"
                    "document.write('<p>after-dialogs</p>');</script>");
            } else if (path.startsWith("/error/")) {
                status = "500 Internal Server Error";
                body = page(path.mid(7));
            } else if (path.startsWith("/redirect/")) {
                status = "302 Found";
                headers += "Location: /page/" + path.mid(10) + "\r\n";
            } else if (path == "/redirect-loop") {
                status = "302 Found";
                headers += "Location: /redirect-loop\r\n";
            } else if (path.startsWith("/hostile/")) {
                const QList<QByteArray> parts = path.mid(9).split('/');
                body = page(parts.value(1), hostileScript(parts.value(0), parts.value(1)));
            } else if (path == "/auth") {
                status = "401 Unauthorized";
                headers += "WWW-Authenticate: Basic realm=\"test\"\r\n";
                body = page("login needed");
            } else if (path.startsWith("/loop/")) {
                body = page(path.mid(6), "<script>setTimeout(function () { for (;;) {} }, 100);</script>");
            } else if (path == "/pic.png") {
                headers = "Content-Type: image/png\r\n";
                body = picture();
            } else if (path == "/download") {
                headers = "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                          "filename=\"x.bin\"\r\n";
                body = QByteArray(4096, 'x');
            } else {
                status = "404 Not Found";
                body = page("no such page");
            }
            answer(socket, status, headers, body);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    std::unique_ptr<QTcpServer> server_;
    QString scheme_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<QPointer<QTcpSocket>> hanging_;
};

} // namespace dv::test
