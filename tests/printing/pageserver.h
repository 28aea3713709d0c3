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

private:
    static QByteArray page(const QByteArray& body, const QByteArray& script = QByteArray())
    {
        return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>test page</title></head><body>" + script
            + "<h1>" + body + "</h1></body></html>";
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
            if (path == "/slow.css") {
                QTimer::singleShot(slowCssMs, socket, [socket] {
                    answer(socket, "200 OK", "Content-Type: text/css\r\n",
                        "h1::after { content: \" STYLED-BY-CSS\"; }");
                });
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
            } else if (path == "/auth") {
                status = "401 Unauthorized";
                headers += "WWW-Authenticate: Basic realm=\"test\"\r\n";
                body = page("login needed");
            } else if (path.startsWith("/loop/")) {
                body = page(path.mid(6), "<script>setTimeout(function () { for (;;) {} }, 100);</script>");
            } else if (path == "/pic.png") {
                headers = "Content-Type: image/png\r\n";
                body = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==");
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
