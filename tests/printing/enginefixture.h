#pragma once
// What the tests of the real engine share: a main window with the real engine and
// recording services, printing to the private CUPS scheduler, and loopback helpers.
#include "privatecups.h"
#include "webenginebrowser.h"
#include "windowfixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSpinBox>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace dv::test
{

struct EngineFixture : WindowFixture {
    explicit EngineFixture(int loadTimeoutMs = 60000, AppParts parts = {})
        : parts_(std::move(parts))
    {
        parts_.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts_.loadTimeoutMs = loadTimeoutMs;
        restart();
    }

    // A new window over the same settings store, as after a restart of the program.
    void restart()
    {
        form.reset();
        form = std::make_unique<MainWindow>(services, parts_);
        named<QSpinBox>(*form, "delaySpin")->setValue(0);
        form->show();
    }
    // A local HTML file showing marker, titled title (none when empty).
    QString localPage(const QString& marker, const QString& title = QString())
    {
        const QString path = dir.filePath(marker + QStringLiteral(".html"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const QByteArray head = title.isEmpty() ? QByteArray() : "<title>" + title.toUtf8() + "</title>";
        file.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + head + "</head><body><h1>" + marker.toUtf8()
            + "</h1></body></html>");
        return path;
    }
    // A local HTML file showing marker whose stylesheet and picture come from the
    // web (the stylesheet adds "STYLED-BY-CSS" after the heading).
    QString pageWithRemoteParts(const QString& marker, const QString& stylesheetUrl, const QString& pictureUrl)
    {
        const QString path = dir.filePath(marker + QStringLiteral(".html"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"" + stylesheetUrl.toUtf8()
            + "\"></head><body><h1>" + marker.toUtf8() + "</h1><img src=\"" + pictureUrl.toUtf8()
            + "\" width=\"20\" height=\"20\"></body></html>");
        return path;
    }
    // The captured jobs of this run, once all have arrived.
    QList<PrivateCups::Job> jobsFor(const QStringList& entries)
    {
        QList<PrivateCups::Job> jobs;
        (void)QTest::qWaitFor([&] { return (jobs = cups.jobsTitled(entries)).size() >= entries.size(); }, 30000);
        return jobs;
    }

    // The titles of jobs, in job order.
    static QStringList titles(const QList<PrivateCups::Job>& jobs)
    {
        QStringList out;
        for (const auto& job : jobs)
            out << job.title;
        return out;
    }
    // What is wrong with the printouts of jobs, each of which should show its own
    // entry's marker (nothing of its own where that is empty) and no other entry's;
    // empty when nothing is.
    static QString markerMismatch(const QList<PrivateCups::Job>& jobs, const QStringList& markers)
    {
        for (int i = 0; i < jobs.size(); ++i) {
            const QString text = PrivateCups::pdfText(jobs[i].pdfPath);
            for (int j = 0; j < markers.size(); ++j) {
                if (!markers[j].isEmpty() && text.contains(markers[j]) != (i == j))
                    return jobs[i].title + QStringLiteral(" printed: ") + text;
            }
        }
        return {};
    }

    PrivateCups cups;

private:
    AppParts parts_;
};

// The real engine with a render bound of its own, so a hung page costs that long.
inline AppParts renderBoundParts(int renderTimeoutMs)
{
    AppParts parts;
    parts.pageSourceFactory = [renderTimeoutMs](QWidget* parent) {
        auto browser = std::make_unique<dv::WebEngineBrowser>(parent);
        browser->setRenderTimeoutMs(renderTimeoutMs);
        return browser;
    };
    return parts;
}

// A loopback port that nobody listens on.
inline quint16 refusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A certificate for 127.0.0.1 that no authority vouches for.
inline QSslConfiguration selfSignedTls(const QTemporaryDir& dir)
{
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const int rc = QProcess::execute(QStringLiteral("openssl"),
        { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
            QStringLiteral("-nodes"), QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert,
            QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-days"), QStringLiteral("2") });
    QFile keyFile(key), certFile(cert);
    if (rc != 0 || !keyFile.open(QIODevice::ReadOnly) || !certFile.open(QIODevice::ReadOnly))
        return {};
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(certFile.readAll()));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

inline QString token()
{
    static int n = 0;
    return QStringLiteral("m%1x%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

} // namespace dv::test
