#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

namespace dv::test {

/// A small web server on loopback for the engine's tests. Paths:
///   /page/NAME      200, a page showing NAME
///   /missing/NAME   404, a page showing NAME
///   /hang           accepts and never answers
///   /dialogs/NAME   a page that calls alert, confirm, prompt and window.open while
///                   loading, then shows NAME and "after-dialogs"
class PageServer : public QObject {
public:
    PageServer()
    {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }

    QString url(const QString& path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    int requests = 0;

private:
    static QByteArray page(const QByteArray& body, const QByteArray& script = QByteArray())
    {
        return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>test page</title></head><body>" + script
            + "<h1>" + body + "</h1></body></html>";
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
            buffers_.remove(socket);
            if (path == "/hang") {
                hanging_ << socket;
                return;
            }
            QByteArray status = "200 OK";
            QByteArray body;
            if (path.startsWith("/page/")) {
                body = page(path.mid(6));
            } else if (path.startsWith("/missing/")) {
                status = "404 Not Found";
                body = page(path.mid(9));
            } else if (path.startsWith("/dialogs/")) {
                body = page(path.mid(9),
                            "<script>alert('a'); confirm('c'); prompt('p', 'x'); window.open('about:blank');"
                            "document.write('<p>after-dialogs</p>');</script>");
            } else {
                status = "404 Not Found";
                body = page("no such page");
            }
            socket->write("HTTP/1.0 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                          + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<QPointer<QTcpSocket>> hanging_;
};

} // namespace dv::test
