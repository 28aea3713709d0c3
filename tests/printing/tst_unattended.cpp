// A run left alone over a list of hostile entries: whatever one page does, it fails
// on its own, the run goes on, and every job shows the page it is named after.
// Real engine, private CUPS; needs the private_cups fixture.
#include "enginefixture.h"
#include "pageserver.h"
#include "webenginebrowser.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <sys/types.h>

using dv::test::EngineFixture;
using dv::test::named;
using dv::test::PageServer;
using dv::test::PrivateCups;
using dv::test::token;

namespace
{

// The page in front of the browser pane.
QWebEnginePage* shownPage(QStackedWidget* views)
{
    return qobject_cast<QWebEngineView*>(views->currentWidget())->page();
}

} // namespace

class TestUnattendedRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    void hostileEntries_eachFailAloneAndEveryJobShowsItsOwnPage()
    {
        EngineFixture f(60000, dv::test::renderBoundParts(3000));
        named<QSpinBox>(*f.form, "delaySpin")->setValue(1);
        PageServer server;
        const QString m1 = token(), mLoop = token(), m2 = token(), mCrash = token(), m3 = token(), mStyled = token(),
                      m4 = token();
        const QString binary = f.dir.filePath(QStringLiteral("data.bin"));
        QFile file(binary);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray("\x00\x01\x02\xff\xfe PK", 8).repeated(2000));
        file.close();

        const QString good1 = f.localPage(m1);
        const QString loop = server.url(QStringLiteral("/loop/") + mLoop);
        const QString good2 = server.url(QStringLiteral("/page/") + m2);
        const QString crash = server.url(QStringLiteral("/page/") + mCrash);
        const QString good3 = f.localPage(m3);
        const QString download = server.url(QStringLiteral("/download"));
        const QString script = QStringLiteral("javascript:document.title='ran'");
        const QString styled = f.pageWithRemoteParts(mStyled, server.url("/slow.css"), server.url("/pic.png"));
        const QString good4 = f.localPage(m4);
        f.setPages({ good1, loop, good2, crash, good3, download, binary, script, styled, good4 });

        // The crash entry's renderer is killed once its page has loaded, during its delay.
        auto* views = f.form->findChild<QStackedWidget*>(QStringLiteral("browserStack"));
        QVERIFY(views);
        bool killed = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, &watch, [&] {
            if (killed || f.form->statusText() != QStringLiteral("Navigating: ") + crash || shownPage(views)->isLoading()
                || shownPage(views)->url() != dv::WebEngineBrowser::urlForAddress(crash))
                return;
            const qint64 pid = shownPage(views)->renderProcessPid();
            if (pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0)
                killed = true;
        });
        watch.start(20);
        f.printAll();
        watch.stop();
        QVERIFY(killed);

        const QStringList printable { good1, good2, good3, styled, good4 };
        const QList<PrivateCups::Job> jobs = f.jobsFor(printable);
        QCOMPARE(EngineFixture::titles(jobs), printable); // nothing else was printed, and in list order
        const QString mismatch = EngineFixture::markerMismatch(jobs, { m1, m2, m3, mStyled, m4 });
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        // The slow stylesheet and the picture of the local page came from the web.
        QVERIFY(PrivateCups::pdfText(jobs[3].pdfPath).contains(QStringLiteral("STYLED-BY-CSS")));
        QVERIFY(server.paths.contains("/pic.png"));
        // A javascript: entry never ran in the page shown before it.
        for (auto* view : views->findChildren<QWebEngineView*>())
            QVERIFY(view->page()->title() != QStringLiteral("ran"));

        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Print Error: ") + loop, QStringLiteral("Print Error: ") + crash,
                QStringLiteral("Navigate Error: ") + download, QStringLiteral("Navigate Error: ") + binary,
                QStringLiteral("Navigate Error: ") + script }));
        QCOMPARE(f.form->navigateErrorCount(), qint64(5));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
        QCOMPARE(f.form->statusText(), QStringLiteral("Completed!"));
    }

    // The next entries load while the one shown waits and prints: every job still
    // shows its own entry, in list order, and the failures are logged as they come.
    void overlap_mixedList_everyJobShowsItsOwnEntryInOrder_data()
    {
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("pagesAtOnce");
        QTest::newRow("no delay") << 0 << 2;
        QTest::newRow("one second") << 1 << 2;
        QTest::newRow("four at once") << 0 << 4;
        QTest::newRow("one at a time") << 0 << 1;
    }
    void overlap_mixedList_everyJobShowsItsOwnEntryInOrder()
    {
        QFETCH(int, delay);
        QFETCH(int, pagesAtOnce);
        EngineFixture f;
        named<QSpinBox>(*f.form, "pagesAtOnceSpin")->setValue(pagesAtOnce);
        named<QSpinBox>(*f.form, "delaySpin")->setValue(delay);
        PageServer server;
        server.slowPageMs = 800;
        const QString m1 = token(), m2 = token(), m4 = token(), m5 = token(), m6 = token(), m7 = token();
        const QString refused = QStringLiteral("http://127.0.0.1:%1/refused").arg(dv::test::refusedPort());
        const QString missing = server.url(QStringLiteral("/missing/") + m4);
        const QStringList entries { f.localPage(m1), server.url(QStringLiteral("/slow/") + m2), refused, missing,
            server.url(QStringLiteral("/slow/") + m5), f.localPage(m6), server.url(QStringLiteral("/slow/") + m7) };
        const QStringList markers { m1, m2, QString(), m4, m5, m6, m7 };
        f.setPages(entries);
        QStringList errorStatuses;
        connect(named<QPlainTextEdit>(*f.form, "errorLog"), &QPlainTextEdit::textChanged, f.form.get(), [&] {
            while (errorStatuses.size() < f.logLines().size())
                errorStatuses << f.form->statusText();
        });
        f.printAll();

        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(EngineFixture::titles(jobs), entries);
        const QString mismatch = EngineFixture::markerMismatch(jobs, markers);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Navigate Error: ") + refused, QStringLiteral("Navigate Error: ") + missing }));
        // Each error is reported in its own entry's turn, never while the one before is shown.
        QCOMPARE(errorStatuses,
            (QStringList { QStringLiteral("Navigating: ") + refused, QStringLiteral("Navigating: ") + missing }));
        QCOMPARE(f.form->navigateErrorCount(), qint64(2));
        // As many pages as load at once, never more.
        QCOMPARE(f.form->pageSource()->findChildren<QWebEnginePage*>().size(), pagesAtOnce);
    }

    // The entry loaded ahead is deleted while the one before prints: it is thrown
    // away, the entry now next loads instead, and nothing of the deleted one prints.
    void overlap_nextEntryDeletedDuringPrint_theEntryNowNextPrints()
    {
        EngineFixture f;
        PageServer server;
        server.slowPageMs = 300;
        const QString mA = token(), mB = token(), mC = token(), mD = token();
        const QString deleted = server.url(QStringLiteral("/slow/") + mB);
        const QStringList entries { f.localPage(mA), deleted, server.url(QStringLiteral("/slow/") + mC),
            f.localPage(mD) };
        f.setPages(entries);
        auto* list = named<PageListBox>(*f.form, "pageList");
        QTimer watch;
        connect(&watch, &QTimer::timeout, &watch, [&] {
            if (f.form->statusText() == QStringLiteral("Printing: ") + entries[0] && list->count() == 4)
                delete list->takeItem(1);
        });
        watch.start(2);
        f.printAll();
        watch.stop();
        QCOMPARE(list->count(), 3);

        const QStringList printed { entries[0], entries[2], entries[3] };
        const QList<PrivateCups::Job> jobs = f.jobsFor(printed);
        QCOMPARE(EngineFixture::titles(jobs), printed);
        const QStringList markers { mA, mC, mD };
        for (int i = 0; i < jobs.size(); ++i) {
            const QString text = PrivateCups::pdfText(jobs[i].pdfPath);
            QVERIFY2(text.contains(markers[i]), qPrintable(printed[i] + QStringLiteral(" printed: ") + text));
            QVERIFY2(!text.contains(mB), qPrintable(printed[i] + QStringLiteral(" shows the deleted entry")));
        }
        QVERIFY(f.cups.jobsTitled({ deleted }).isEmpty());
        // It had been loading ahead: the one before printed while it was asked for.
        QVERIFY(server.paths.contains(QByteArray("/slow/") + mB.toUtf8()));
        QVERIFY(f.logLines().isEmpty());
        QCOMPARE(f.dialogs.messages.last().text, QStringLiteral("Successfully completed."));
    }

    // A long list four pages at once: every job in list order, each showing its own page.
    void localPages_fourAtOnce_printInListOrderEachItsOwn()
    {
        EngineFixture f;
        named<QSpinBox>(*f.form, "pagesAtOnceSpin")->setValue(4);
        QStringList entries;
        QStringList markers;
        for (int i = 0; i < 200; ++i) {
            markers << token();
            entries << f.localPage(markers.last());
        }
        f.setPages(entries);
        f.printAll();
        QCOMPARE(f.dialogs.messages.last().text, QStringLiteral("Successfully completed."));
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(EngineFixture::titles(jobs), entries);
        for (int i = 0; i < jobs.size(); ++i) {
            const QString text = PrivateCups::pdfText(jobs[i].pdfPath);
            QVERIFY2(text.contains(markers[i]), qPrintable(entries[i] + QStringLiteral(" printed: ") + text));
            if (i > 0)
                QVERIFY2(!text.contains(markers[i - 1]), qPrintable(entries[i]));
            if (i + 1 < jobs.size())
                QVERIFY2(!text.contains(markers[i + 1]), qPrintable(entries[i]));
        }
        QCOMPARE(f.form->pageSource()->findChildren<QWebEnginePage*>().size(), 4);
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestUnattendedRun test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_unattended.moc"
