#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

namespace dv::test
{

/// The private CUPS scheduler that the tests' fixture started (scripts/private-cups):
/// its folder comes from DV_PRIVATE_CUPS, its address from the folder's "server" file.
struct PrivateCups {
    QString dir = qEnvironmentVariable("DV_PRIVATE_CUPS");

    QString server() const
    {
        QFile file(dir + QStringLiteral("/server"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).trimmed();
    }

    /// Points this process at the scheduler; call before anything asks CUPS.
    bool select() const
    {
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        const QString address = server();
        if (address.isEmpty())
            return false;
        qputenv("CUPS_SERVER", address.toUtf8());
        return true;
    }

    /// Adds another capturing queue (not the default); false when it failed.
    bool addQueue(const QString& name) const
    {
        return QProcess::execute(QStringLiteral(DV_SOURCE_DIR "/scripts/private-cups"),
                   { QStringLiteral("add-queue"), dir, name })
            == 0;
    }
    bool removeQueue(const QString& name) const
    {
        return QProcess::execute(QStringLiteral("lpadmin"), { QStringLiteral("-h"), server(), QStringLiteral("-x"), name })
            == 0;
    }

    struct Job {
        int id = 0;
        QString title;
        QString pdfPath;
        /// The queue that printed it.
        QString queue;
        /// Its options as the printer's backend got them ("name=value ...").
        QString options;
    };

    /// The captured jobs whose title is one of titles, in job order.
    QList<Job> jobsTitled(const QStringList& titles) const
    {
        QMap<int, Job> found;
        const QDir capture(dir + QStringLiteral("/capture"));
        // What the backend wrote beside job id's document under suffix, or nothing.
        auto beside = [&capture](int id, const char* suffix) -> std::optional<QString> {
            QFile file(capture.filePath(QStringLiteral("job-%1.%2").arg(id).arg(QLatin1String(suffix))));
            if (!file.open(QIODevice::ReadOnly))
                return std::nullopt;
            return QString::fromUtf8(file.readAll());
        };
        for (const QString& name : capture.entryList({ QStringLiteral("job-*.pdf") }, QDir::Files)) {
            const int id = name.mid(4, name.size() - 8).toInt();
            const std::optional<QString> titleLine = beside(id, "title");
            if (!titleLine)
                continue;
            const QString title = titleLine->chopped(1);
            if (!titles.contains(title))
                continue;
            found.insert(id,
                Job { id, title, capture.filePath(name), beside(id, "queue").value_or(QString()).trimmed(),
                    beside(id, "options").value_or(QString()).trimmed() });
        }
        return found.values();
    }

    static QString pdfText(const QString& pdfPath)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), { pdfPath, QStringLiteral("-") });
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
};

} // namespace dv::test
