#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

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
        for (const QString& name : capture.entryList({ QStringLiteral("job-*.pdf") }, QDir::Files)) {
            const int id = name.mid(4, name.size() - 8).toInt();
            QFile titleFile(capture.filePath(QStringLiteral("job-%1.title").arg(id)));
            if (!titleFile.open(QIODevice::ReadOnly))
                continue;
            const QString title = QString::fromUtf8(titleFile.readAll()).chopped(1);
            QFile queueFile(capture.filePath(QStringLiteral("job-%1.queue").arg(id)));
            const QString queue
                = queueFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(queueFile.readAll()).trimmed() : QString();
            QFile optionsFile(capture.filePath(QStringLiteral("job-%1.options").arg(id)));
            const QString options
                = optionsFile.open(QIODevice::ReadOnly) ? QString::fromUtf8(optionsFile.readAll()).trimmed() : QString();
            if (titles.contains(title))
                found.insert(id, Job { id, title, capture.filePath(name), queue, options });
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
