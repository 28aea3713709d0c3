// The real engine end to end: Qt WebEngine loads local files and loopback pages,
// prints them to the private CUPS scheduler's capturing printer, and the run's log
// and closing message follow what happened. Needs the private_cups fixture.
#include "enginefixture.h"
#include "pageserver.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QSpinBox>
#include <QSslCertificate>
#include <QSslKey>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cups/cups.h>

using dv::test::named;

using dv::test::PageServer;
using dv::test::PrivateCups;
using dv::test::RecordingDialogs;
using dv::test::RecordingShell;

using Fixture = dv::test::EngineFixture;
using dv::test::refusedPort;
using dv::test::selfSignedTls;
using dv::test::token;

class TestWebEnginePrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    void printAll_mixedList_printsEveryEntryInOrderAndLogsTheTwoFailures()
    {
        Fixture f;
        PageServer server;
        const QString m1 = token(), m2 = token(), m4 = token(), m5 = token();
        const QString refused = QStringLiteral("http://127.0.0.1:%1/refused").arg(refusedPort());
        const QString missing = server.url(QStringLiteral("/missing/") + m4);
        const QStringList entries { f.localPage(m1), server.url(QStringLiteral("/page/") + m2), refused, missing,
            f.localPage(m5) };
        f.setPages(entries);
        f.printAll();

        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), entries.size());
        QCOMPARE(Fixture::titles(jobs), entries); // one job per entry, named by its address, in list order
        const QStringList markers { m1, m2, QString(), m4, m5 };
        for (int i = 0; i < jobs.size(); ++i) {
            const QString text = PrivateCups::pdfText(jobs[i].pdfPath);
            if (!markers[i].isEmpty())
                QVERIFY2(text.contains(markers[i]), qPrintable(entries[i] + QStringLiteral(" printed: ") + text));
        }
        QCOMPARE(f.logLines(),
            (QStringList {
                QStringLiteral("Navigate Error: ") + refused, QStringLiteral("Navigate Error: ") + missing }));
        QVERIFY(named<QTabWidget>(*f.form, "listTabs")->isTabVisible(named<QTabWidget>(*f.form, "listTabs")->indexOf(named<QWidget>(*f.form, "errorLogTab"))));
        QCOMPARE(named<QTabWidget>(*f.form, "listTabs")->currentWidget(), named<QWidget>(*f.form, "pageListTab"));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("COMPLETE"));
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONWARNING));

        // Good pages only: a clean run, whatever the one before did.
        const QString m6 = token();
        const QStringList good { server.url(QStringLiteral("/page/") + m6), f.localPage(token()) };
        f.setPages(good);
        f.printAll();
        QCOMPARE(f.jobsFor(good).size(), good.size());
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages[1].text, QStringLiteral("Successfully completed."));
        QCOMPARE(f.dialogs.messages[1].flags, int(dv::MB_ICONINFORMATION));
        QCOMPARE(f.logLines().size(), 2);
    }

    void printAll_pagesThatWouldAskTheUser_printWithoutShowingAnything()
    {
        Fixture f;
        PageServer server;
        const QSslConfiguration tls = selfSignedTls(f.dir);
        QVERIFY(!tls.isNull());
        PageServer secure(tls);
        const QString marker = token();
        const QString auth = server.url(QStringLiteral("/auth"));
        const QString badCertificate = secure.url(QStringLiteral("/page/") + token());
        const QStringList entries { server.url(QStringLiteral("/dialogs/") + marker), auth, badCertificate,
            server.url(QStringLiteral("/download")) };
        f.setPages(entries);
        QStringList windowsSeen;
        // Anything that popped up would be a visible top-level window besides ours.
        QTimer watch;
        connect(&watch, &QTimer::timeout, &watch, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w != f.form.get() && !w->inherits("QMenu"))
                    windowsSeen << QString::fromLatin1(w->metaObject()->className());
        });
        watch.start(5);
        f.printAll();
        watch.stop();

        QVERIFY2(windowsSeen.isEmpty(), qPrintable(windowsSeen.join(QLatin1Char(','))));
        // The download brings no page of its own: nothing is printed for it.
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries.mid(0, 3));
        QCOMPARE(jobs.size(), 3);
        QVERIFY(f.cups.jobsTitled({ entries[3] }).isEmpty());
        const QString text = PrivateCups::pdfText(jobs[0].pdfPath);
        QVERIFY2(text.contains(marker) && text.contains(QStringLiteral("after-dialogs")), qPrintable(text));
        const QStringList log = f.logLines();
        QVERIFY2(log.contains(QStringLiteral("Navigate Error: ") + auth), qPrintable(log.join(QLatin1Char('|'))));
        QVERIFY2(
            log.contains(QStringLiteral("Navigate Error: ") + badCertificate), qPrintable(log.join(QLatin1Char('|'))));
        QVERIFY(!log.contains(QStringLiteral("Navigate Error: ") + entries[0]));
        QVERIFY2(log.contains(QStringLiteral("Navigate Error: ") + entries[3]), qPrintable(log.join(QLatin1Char('|'))));
        QCOMPARE(log.size(), 3);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("COMPLETE"));
    }

    // A load given up at the bound prints what it brought so far; one that brought
    // nothing prints nothing, rather than the page before it, loaded ahead or not.
    void printAll_loadThatNeverEnds_isGivenUpAndTheRunGoesOn_data()
    {
        QTest::addColumn<bool>("overlap");
        QTest::newRow("loading ahead") << true;
        QTest::newRow("one at a time") << false;
    }
    void printAll_loadThatNeverEnds_isGivenUpAndTheRunGoesOn()
    {
        QFETCH(bool, overlap);
        Fixture f(3000);
        if (!overlap)
            QVERIFY(f.registry.setValue(QStringLiteral("Software\\KELMARO\\Dorvantis\\Printing"),
                QStringLiteral("Overlap"), dv::RegValue::dword(0)));
        PageServer server;
        const QString before = token(), partial = token(), after = token();
        const QString hang = server.url(QStringLiteral("/hang"));
        const QString partialUrl = server.url(QStringLiteral("/partial/") + partial);
        const QStringList entries { f.localPage(before), hang, partialUrl, hang,
            server.url(QStringLiteral("/page/") + after) };
        f.setPages(entries);
        f.printAll();

        const QStringList printed { entries[0], partialUrl, entries[4] };
        const QList<PrivateCups::Job> jobs = f.jobsFor(printed);
        QCOMPARE(Fixture::titles(jobs), printed);
        QVERIFY(f.cups.jobsTitled({ hang }).isEmpty());
        const QString mismatch = Fixture::markerMismatch(jobs, { before, partial, after });
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Navigate Error: ") + hang, QStringLiteral("Navigate Error: ") + partialUrl,
                QStringLiteral("Navigate Error: ") + hang }));
        QCOMPARE(f.form->navigateErrorCount(), qint64(3));
        QCOMPARE(f.dialogs.messages.last().text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
    }

    void printAll_oddEntries_endWithoutWaitingForTheBound()
    {
        Fixture f(30000);
        PageServer server;
        const QString same = server.url(QStringLiteral("/page/") + token());
        const QString folder = f.dir.filePath(QStringLiteral("folder"));
        QDir().mkpath(folder);
        const QString binary = f.dir.filePath(QStringLiteral("data.bin"));
        QFile file(binary);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("\x7f"
                              "ELF\x00\x01\x02\xff\xfe",
            9)
                       .repeated(1000));
        file.close();
        // Words, a folder, a binary file, an empty line; then one page three times, the
        // last only moving to a part of it, which loads nothing new.
        const QStringList entries { QStringLiteral("plain words here"), folder, binary, QString(), same, same,
            same + QStringLiteral("#part") };
        f.setPages(entries);
        QElapsedTimer wall;
        wall.start();
        f.printAll();
        QVERIFY2(wall.elapsed() < 30000, "an entry waited for the load bound");
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("COMPLETE"));
        // Everything but the binary file, which the engine will not show, prints.
        QStringList printable = entries;
        printable.removeAt(2);
        QCOMPARE(f.jobsFor(printable).size(), printable.size());
        QVERIFY(f.cups.jobsTitled({ binary }).isEmpty());
        QVERIFY(f.logLines().contains(QStringLiteral("Navigate Error: ") + binary));
    }

    void printPreview_opensThePreviewOfTheLoadedPage()
    {
        Fixture f;
        f.setPages({ f.localPage(token()) });
        int pages = -1;
        QString failure;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QPrintPreviewDialog*>(w);
                if (!dialog || !dialog->isVisible())
                    continue;
                auto* preview = dialog->findChild<QPrintPreviewWidget*>();
                if (!preview) {
                    failure = QStringLiteral("no preview widget");
                    dialog->reject();
                    return;
                }
                pages = preview->pageCount();
                if (pages > 0)
                    dialog->reject();
            }
        });
        poll.start(50);
        QTimer::singleShot(60000, &poll, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QPrintPreviewDialog*>(w))
                    dialog->reject();
        });
        f.previewCurrent();
        poll.stop();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY(pages > 0);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void printAll_withoutUsablePrinter_endsWithErrorNamingTheCause_data()
    {
        QTest::addColumn<bool>("schedulerRunning");
        QTest::addColumn<QString>("expected");
        QTest::newRow("scheduler out of reach") << false << QStringLiteral("cannot be reached");
        QTest::newRow("no default printer") << true << QStringLiteral("No default printer is set up.");
    }

    void printAll_withoutUsablePrinter_endsWithErrorNamingTheCause()
    {
        QFETCH(bool, schedulerRunning);
        QFETCH(QString, expected);
        Fixture f;
        const QString script = QStringLiteral(DV_SOURCE_DIR "/scripts/private-cups");
        const QString own = f.dir.filePath(QStringLiteral("cups"));
        QString server = QStringLiteral("127.0.0.1:%1").arg(refusedPort());
        if (schedulerRunning) {
            // A scheduler of this test's own whose only printer is taken away.
            QProcess start;
            start.start(script, { QStringLiteral("start"), own });
            QVERIFY(start.waitForFinished(60000));
            QCOMPARE(start.exitCode(), 0);
            server = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
            QCOMPARE(QProcess::execute(QStringLiteral("lpadmin"),
                         { QStringLiteral("-h"), server, QStringLiteral("-x"), QStringLiteral("capture") }),
                0);
        }
        const QByteArray before = qgetenv("CUPS_SERVER");
        qputenv("CUPS_SERVER", server.toUtf8());
        cupsSetServer(nullptr); // forget the scheduler this process talked to so far
        const QString page = f.localPage(token());
        f.setPages({ page });
        f.printAll();
        qputenv("CUPS_SERVER", before);
        cupsSetServer(nullptr);
        if (schedulerRunning)
            QProcess::execute(script, { QStringLiteral("stop"), own });

        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        QVERIFY2(f.dialogs.messages[0].text.contains(expected), qPrintable(f.dialogs.messages[0].text));
        QCOMPARE(f.form->statusText(), QStringLiteral("Printing: ") + page);
        QCOMPARE(f.dialogs.beeps, 0);
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestWebEnginePrint test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webengineprint.moc"

