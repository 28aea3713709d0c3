// "Print to:" end to end with the real engine: a second queue of the private CUPS
// scheduler, an instance of it with its own options, the choice kept across a
// restart and falling back when its queue is gone, a folder of PDF files and one
// PDF file with a bookmark per entry. Needs the private_cups fixture.
#include "enginefixture.h"

#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using dv::test::named;
using dv::test::token;
using dv::test::PrivateCups;
using Kind = dv::PrintDestination::Kind;

namespace {

struct Fixture : dv::test::EngineFixture {
    QComboBox* printTo() const { return named<QComboBox>(*form, "printToBox"); }
    // Picks the item as a user would; PDF items then ask for a place (answered by reply).
    void choose(const QString& itemText, const QString& reply = QString())
    {
        const int index = printTo()->findText(itemText, Qt::MatchStartsWith);
        QVERIFY2(index >= 0, qPrintable(itemText));
        if (!reply.isEmpty())
            dialogs.fileReplies << QStringList {reply};
        printTo()->setCurrentIndex(index);
        emit printTo()->activated(index);
    }
    void printAll(const QStringList& entries)
    {
        setPages(entries);
        EngineFixture::printAll();
    }
};

// An address nobody answers on loopback: its entry fails to load.
QString refusedAddress()
{
    return QStringLiteral("http://127.0.0.1:%1/refused").arg(dv::test::refusedPort());
}

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

QJsonObject qpdfJson(const QString& path)
{
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--json"), path});
    qpdf.waitForFinished(30000);
    return QJsonDocument::fromJson(qpdf.readAllStandardOutput()).object();
}

} // namespace

class TestDestination : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    void chosenQueue_getsEveryJobAndNoneGoesToTheDefault_andIsKeptAcrossARestart()
    {
        Fixture f;
        const QString queue = QStringLiteral("second_") + token();
        QVERIFY(f.cups.addQueue(queue));
        f.restart(); // lists the new queue
        QCOMPARE(f.printTo()->itemText(0), QStringLiteral("Default printer (capture)"));
        f.choose(queue);
        f.restart();
        QCOMPARE(f.printTo()->currentText(), queue);
        QCOMPARE(f.form->printDestination(), (dv::PrintDestination {Kind::Printer, queue}));

        const QStringList entries {f.localPage(token()), f.localPage(token())};
        f.printAll(entries);
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), entries.size());
        for (const PrivateCups::Job& job : jobs)
            QCOMPARE(job.queue, queue);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Successfully completed."));
    }

    // The scheduler turns the job away: the run ends with its reason, as a printer
    // no page could reach, and nothing is printed.
    void chosenQueueThatRefusesJobs_endsTheRunWithTheSchedulersReason()
    {
        Fixture f;
        const QString queue = QStringLiteral("closed_") + token();
        QVERIFY(f.cups.addQueue(queue));
        QCOMPARE(QProcess::execute(QStringLiteral("cupsreject"),
                     {QStringLiteral("-h"), f.cups.server(), QStringLiteral("-r"), QStringLiteral("closed for repairs"), queue}),
            0);
        f.restart();
        f.choose(queue);
        const QStringList entries {f.localPage(token()), f.localPage(token())};
        f.printAll(entries);

        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        const QString text = f.dialogs.messages[0].text;
        QVERIFY2(text.contains(QStringLiteral("\"%1\" did not accept the job").arg(queue)), qPrintable(text));
        QCOMPARE(f.form->statusText(), QStringLiteral("Printing: ") + entries[0]);
        QVERIFY(f.cups.jobsTitled(entries).isEmpty());
        QVERIFY(f.cups.removeQueue(queue));
    }

    // An instance from the user's lpoptions prints on its queue with its own
    // options; the queue chosen without it prints without them.
    void instanceOfAQueue_printsOnItsQueueWithTheInstancesOptions()
    {
        Fixture f;
        const QString queue = QStringLiteral("shared_") + token();
        QVERIFY(f.cups.addQueue(queue));
        const QString instance = queue + QStringLiteral("/twoup");
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/.cups")));
        QFile lpoptions(QDir::homePath() + QStringLiteral("/.cups/lpoptions"));
        QVERIFY(lpoptions.open(QIODevice::WriteOnly));
        lpoptions.write("Dest " + instance.toUtf8() + " number-up=2 Duplex=DuplexNoTumble\n");
        lpoptions.close();
        const auto forgetInstance = qScopeGuard([&] {
            lpoptions.remove();
            f.cups.removeQueue(queue);
        });
        f.restart(); // lists the instance

        f.choose(instance);
        const QStringList viaInstance {f.localPage(token()), f.localPage(token())};
        f.printAll(viaInstance);
        f.choose(queue);
        const QStringList viaQueue {f.localPage(token())};
        f.printAll(viaQueue);

        const QList<PrivateCups::Job> instanceJobs = f.jobsFor(viaInstance);
        QCOMPARE(instanceJobs.size(), viaInstance.size());
        for (const PrivateCups::Job& job : instanceJobs) {
            QCOMPARE(job.queue, queue);
            const QStringList options = job.options.split(QLatin1Char(' '));
            QVERIFY2(options.contains(QStringLiteral("number-up=2")), qPrintable(job.options));
            QVERIFY2(options.contains(QStringLiteral("Duplex=DuplexNoTumble")), qPrintable(job.options));
        }
        const QList<PrivateCups::Job> queueJobs = f.jobsFor(viaQueue);
        QCOMPARE(queueJobs.size(), 1);
        QCOMPARE(queueJobs[0].queue, queue);
        QVERIFY2(!queueJobs[0].options.split(QLatin1Char(' ')).contains(QStringLiteral("number-up=2")),
            qPrintable(queueJobs[0].options));
        QCOMPARE(f.dialogs.messages.size(), 2);
        for (const auto& message : f.dialogs.messages)
            QCOMPARE(message.text, QStringLiteral("Successfully completed."));
    }

    void storedQueueThatIsGone_fallsBackToTheDefaultWithAStatusNote()
    {
        Fixture f;
        const QString queue = QStringLiteral("gone_") + token();
        QVERIFY(f.cups.addQueue(queue));
        f.restart();
        f.choose(queue);
        QVERIFY(f.cups.removeQueue(queue));
        f.restart();

        QVERIFY2(f.form->statusText().contains(QStringLiteral("\"%1\"").arg(queue))
                && f.form->statusText().contains(QStringLiteral("default printer")),
            qPrintable(f.form->statusText()));
        QCOMPARE(f.printTo()->currentIndex(), 0);
        QCOMPARE(f.printTo()->findText(queue), -1);
        QVERIFY(f.dialogs.messages.isEmpty());
        const QStringList entries {f.localPage(token())};
        f.printAll(entries);
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), 1);
        QCOMPARE(jobs[0].queue, QStringLiteral("capture"));
    }

    void pdfFolder_onePdfPerPrintedEntry_namedByPositionAndTitle_neverOverwriting()
    {
        Fixture f;
        const QString folder = f.dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));
        f.choose(QStringLiteral("PDF files in a folder"), folder);
        QCOMPARE(f.form->printDestination(), (dv::PrintDestination {Kind::PdfFolder, folder}));
        const QString m1 = token(), m3 = token();
        const QString refused = refusedAddress();
        // The second page has no title: its file name stands in.
        const QStringList entries {f.localPage(m1, QStringLiteral("First: a/b")), refused, f.localPage(m3)};
        const QStringList names {QStringLiteral("001 - First_ a_b.pdf"), QStringLiteral("003 - %1.html.pdf").arg(m3)};

        f.printAll(entries);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), names);
        // Each file is the printout a printer would get: the page and its header.
        const QString first = PrivateCups::pdfText(QDir(folder).filePath(names[0]));
        QVERIFY2(first.contains(m1) && first.contains(QStringLiteral("Page 1 of 1")), qPrintable(first));
        QVERIFY(PrivateCups::pdfText(QDir(folder).filePath(names[1])).contains(m3));
        // Everything else as for a printer: the log, the closing message, and no job.
        QCOMPARE(f.form->errorLogLines(), QStringList {QStringLiteral("Navigate Error: ") + refused});
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
        QVERIFY(f.cups.jobsTitled(entries).isEmpty());

        const QByteArray firstHash = fileHash(QDir(folder).filePath(names[0]));
        f.printAll(entries);
        QStringList all = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        all.sort();
        QStringList expected {names[0], QStringLiteral("001 - First_ a_b (2).pdf"), names[1],
            QStringLiteral("003 - %1.html (2).pdf").arg(m3)};
        expected.sort();
        QCOMPARE(all, expected);
        QCOMPARE(fileHash(QDir(folder).filePath(names[0])), firstHash);
    }

    void pdfFolderThatCannotBeWritten_endsTheRunBeforeTheFirstPage_data()
    {
        QTest::addColumn<QString>("folder"); // relative to the test's own folder, or absolute
        QTest::newRow("a file in its place") << QStringLiteral("taken");
        QTest::newRow("below a file") << QStringLiteral("taken/out");
        QTest::newRow("a folder where nothing may be created") << QStringLiteral("/proc/self");
    }

    void pdfFolderThatCannotBeWritten_endsTheRunBeforeTheFirstPage()
    {
        QFETCH(QString, folder);
        Fixture f;
        QFile taken(f.dir.filePath(QStringLiteral("taken")));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.close();
        const QString path = QDir(f.dir.path()).absoluteFilePath(folder);
        f.form->setPrintDestination({Kind::PdfFolder, path});
        f.printAll({f.localPage(token())});

        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        QVERIFY2(f.dialogs.messages[0].text.contains(QStringLiteral("\"%1\"").arg(path)),
            qPrintable(f.dialogs.messages[0].text));
        QVERIFY2(!f.form->statusText().startsWith(QStringLiteral("Navigating")), qPrintable(f.form->statusText()));
    }

    void onePdf_holdsThePrintedEntriesInOrderWithABookmarkEach()
    {
        Fixture f;
        const QString file = f.dir.filePath(QStringLiteral("run.pdf"));
        f.choose(QStringLiteral("One PDF file"), file);
        const QString m1 = token(), m3 = token(), m4 = token();
        const QStringList entries {f.localPage(m1, QStringLiteral("Alpha")), refusedAddress(),
            f.localPage(m3, QStringLiteral("Gamma \u00e9")), f.localPage(m4)};
        f.printAll(entries);

        const QJsonObject json = qpdfJson(file);
        QCOMPARE(json.value(QStringLiteral("pages")).toArray().size(), 3);
        QStringList titles;
        QList<int> firstPages;
        for (const QJsonValue& item : json.value(QStringLiteral("outlines")).toArray()) {
            titles << item[QStringLiteral("title")].toString();
            firstPages << item[QStringLiteral("destpageposfrom1")].toInt();
        }
        QCOMPARE(titles, (QStringList {QStringLiteral("Alpha"), QStringLiteral("Gamma \u00e9"), m4 + ".html"}));
        QCOMPARE(firstPages, (QList<int> {1, 2, 3}));
        const QString text = PrivateCups::pdfText(file);
        QVERIFY2(text.indexOf(m1) >= 0 && text.indexOf(m1) < text.indexOf(m3) && text.indexOf(m3) < text.indexOf(m4),
            qPrintable(text));
        QCOMPARE(f.dialogs.messages.last().text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestDestination test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_destination.moc"
