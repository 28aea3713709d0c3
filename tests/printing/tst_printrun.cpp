// The print and preview commands of the main window, driven through a scripted
// browser: the order of steps, the delay, the list read afresh, the closing
// messages, failures, re-entry, the load bound and a close during a run.
#include "mainwindow.h"
#include "named.h"
#include "errordialog.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"
#include "windowfixture.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <limits>
#include <type_traits>

using dv::test::named;


namespace
{

const QString completeCaption = QStringLiteral("COMPLETE");
const QString withErrorsText = QStringLiteral("Completed with errors!\rPlease check Error Log.");
const QString successText = QStringLiteral("Successfully completed.");

struct Fixture : dv::test::ScriptedWindowFixture {
    explicit Fixture(int loadTimeoutMs = 60000)
        : ScriptedWindowFixture(partsWithLoadBound(loadTimeoutMs))
    {
        named<QSpinBox>(*form, "delaySpin")->setValue(0);
    }
    static AppParts partsWithLoadBound(int loadTimeoutMs)
    {
        AppParts parts;
        parts.loadTimeoutMs = loadTimeoutMs;
        return parts;
    }

    void setDelayText(const QString& text) { named<QSpinBox>(*form, "delaySpin")->findChild<QLineEdit*>()->setText(text); }
    // Lets the delay now running end at once, as if its time had passed.
    void endDelayNow() { form->endDelayNow(); }
    bool logTabVisible() const
    {
        return named<QTabWidget>(*form, "listTabs")->isTabVisible(named<QTabWidget>(*form, "listTabs")->indexOf(named<QWidget>(*form, "errorLogTab")));
    }

};

// Switches loading the next entry ahead on or off, as the settings store does.
void setOverlap(Fixture& f, bool on)
{
    QVERIFY(f.registry.setValue(QStringLiteral("Software\\KELMARO\\Dorvantis\\Printing"), QStringLiteral("Overlap"),
        dv::RegValue::dword(on ? 1 : 0)));
}

// What a run showed, step by step: the status line at each navigation, each
// navigation error and each print, what was printed, and the Error Log.
struct RunTrace {
    QStringList steps;
    QStringList logLines;
    qint64 errorCount = 0;
};

RunTrace traceRun(Fixture& f)
{
    RunTrace trace;
    f.browser->onNavigate = [&](const QString& address) {
        trace.steps << QStringLiteral("navigate %1 | %2 | log %3").arg(address, f.form->statusText()).arg(f.logLines().size());
    };
    f.browser->onPrint = [&](const QString& shown) {
        trace.steps << QStringLiteral("print %1 | %2 | log %3").arg(shown, f.form->statusText()).arg(f.logLines().size());
    };
    auto* log = named<QPlainTextEdit>(*f.form, "errorLog");
    qsizetype linesSeen = 0;
    QObject::connect(log, &QPlainTextEdit::textChanged, f.form.get(), [&] {
        const QStringList lines = f.logLines();
        for (; linesSeen < lines.size(); ++linesSeen)
            trace.steps << QStringLiteral("log %1 | %2").arg(lines[linesSeen], f.form->statusText());
    });
    f.printAll();
    trace.logLines = f.logLines();
    trace.errorCount = f.form->navigateErrorCount();
    return trace;
}

double processCpuSeconds()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

class TestPrintRun : public QObject
{
    Q_OBJECT

private slots:
    void printAll_goodPages_printsEachInOrderAndEndsSuccessfully()
    {
        Fixture f;
        f.setPages({ QStringLiteral("a.html"), QStringLiteral("http://127.0.0.1:1/b"), QStringLiteral("a.html") });
        f.browser->loadMs = 5;
        QStringList statusAtPrint;
        QList<QPair<int, int>> progressAtPrint;
        f.browser->onPrint = [&](const QString&) {
            statusAtPrint << f.form->statusText();
            QVERIFY(named<QProgressBar>(*f.form, "runProgress")->isVisible() || !f.form->isVisible());
            progressAtPrint << qMakePair(named<QProgressBar>(*f.form, "runProgress")->value(), named<QProgressBar>(*f.form, "runProgress")->maximum());
        };
        f.form->show();
        f.printAll();

        QCOMPARE(f.browser->navigations, named<PageListBox>(*f.form, "pageList")->entries());
        QCOMPARE(f.browser->printed, named<PageListBox>(*f.form, "pageList")->entries());
        QCOMPARE(statusAtPrint,
            (QStringList { QStringLiteral("Printing: a.html"), QStringLiteral("Printing: http://127.0.0.1:1/b"),
                QStringLiteral("Printing: a.html") }));
        QCOMPARE(progressAtPrint, (QList<QPair<int, int>> { { 1, 3 }, { 2, 3 }, { 3, 3 } }));
        QCOMPARE(f.form->statusText(), QStringLiteral("Completed!"));
        QCOMPARE(f.dialogs.beeps, 1);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, completeCaption);
        QCOMPARE(f.dialogs.messages[0].text, successText);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONINFORMATION));
        QVERIFY(named<QProgressBar>(*f.form, "runProgress")->isHidden());
        QVERIFY(!f.logTabVisible());
    }

    void printAll_emptyList_beepsAndEndsSuccessfully()
    {
        Fixture f;
        int beepsAtMessage = -1;
        f.dialogs.onMessage = [&](const dv::test::ShownMessage&) { beepsAtMessage = f.dialogs.beeps; };
        f.printAll();
        QCOMPARE(beepsAtMessage, 1); // the sound comes first
        QVERIFY(f.browser->navigations.isEmpty());
        QCOMPARE(f.form->statusText(), QStringLiteral("Completed!"));
        QCOMPARE(f.dialogs.beeps, 1);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, successText);
    }

    void printAll_navigationErrors_warnAndLogWithoutLeavingTheList()
    {
        Fixture f;
        static_assert(std::is_same_v<decltype(f.form->navigateErrorCount()), qint64>);
        f.setPages({ QStringLiteral("good"), QStringLiteral("bad1"), QStringLiteral("bad2") });
        f.browser->failing = { QStringLiteral("bad1"), QStringLiteral("bad2") };
        named<QTabWidget>(*f.form, "listTabs")->setCurrentWidget(named<QWidget>(*f.form, "pageListTab"));
        f.printAll();

        QCOMPARE(f.browser->printed, named<PageListBox>(*f.form, "pageList")->entries()); // error pages print too
        QCOMPARE(f.form->navigateErrorCount(), qint64(2));
        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Navigate Error: bad1"), QStringLiteral("Navigate Error: bad2") }));
        QVERIFY(f.logTabVisible());
        QCOMPARE(named<QTabWidget>(*f.form, "listTabs")->currentWidget(), named<QWidget>(*f.form, "pageListTab"));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, completeCaption);
        QCOMPARE(f.dialogs.messages[0].text, withErrorsText);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONWARNING));

        // The next run over good pages starts counting afresh; the log keeps growing.
        f.setPages({ QStringLiteral("good") });
        f.printAll();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages[1].text, successText);
        QCOMPARE(f.dialogs.messages[1].flags, int(dv::MB_ICONINFORMATION));
        QCOMPARE(f.logLines().size(), 2);
        QVERIFY(f.logTabVisible());
    }

    void printAll_pageThatCannotPrint_logsOneLineForItAndGoesOn()
    {
        Fixture f;
        f.setPages({ QStringLiteral("stuck"), QStringLiteral("good"), QStringLiteral("bad-and-stuck"),
            QStringLiteral("last") });
        f.browser->unprintable = { QStringLiteral("stuck"), QStringLiteral("bad-and-stuck") };
        f.browser->failing = { QStringLiteral("bad-and-stuck") };
        f.printAll();

        QCOMPARE(f.browser->printed, (QStringList { QStringLiteral("good"), QStringLiteral("last") }));
        // A page that failed to load and then to print has one line, not two.
        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Print Error: stuck"), QStringLiteral("Navigate Error: bad-and-stuck") }));
        QCOMPARE(f.form->navigateErrorCount(), qint64(2));
        QCOMPARE(f.form->statusText(), QStringLiteral("Completed!"));
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, withErrorsText);
    }

    void navigateErrorOutsideRun_isCountedButResetByNextRun()
    {
        Fixture f;
        f.form->setNavigateErrorCount(std::numeric_limits<qint32>::max());
        emit f.browser->navigateError(0, QStringLiteral("http://127.0.0.1:1/x"));
        QCOMPARE(f.form->navigateErrorCount(), qint64(std::numeric_limits<qint32>::max()) + 1);
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: http://127.0.0.1:1/x") });
        f.setPages({ QStringLiteral("good") });
        f.printAll();
        QCOMPARE(f.dialogs.messages.last().text, successText);
    }

    void printAll_delayField_setsTheWait_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("firstLegMs"); // -1: no delay at all
        QTest::newRow("two seconds") << QStringLiteral("2") << 2000;
        QTest::newRow("zero") << QStringLiteral("0") << -1;
        QTest::newRow("negative") << QStringLiteral("-3") << -1;
        QTest::newRow("not a number") << QStringLiteral("abc") << -1;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("largest, beyond 32-bit milliseconds")
            << QStringLiteral("999999999") << std::numeric_limits<int>::max();
    }

    void printAll_delayField_setsTheWait()
    {
        QFETCH(QString, text);
        QFETCH(int, firstLegMs);
        Fixture f;
        f.setPages({ QStringLiteral("one") });
        f.setDelayText(text);
        bool seenDelay = false;
        bool printedDuringDelay = false;
        // Looks at the run's timer once the page has loaded and the delay, if any, began.
        connect(f.browser, &dv::PageSource::loaded, f.browser, [&] {
            QTimer::singleShot(20, f.browser, [&] {
                auto* timer = f.form->findChild<QTimer*>(QStringLiteral("delayTimer"));
                if (!timer || !timer->isActive())
                    return;
                seenDelay = true;
                printedDuringDelay = !f.browser->printed.isEmpty();
                // Counted from the end of the load, a moment ago.
                QVERIFY2(timer->interval() <= firstLegMs && timer->interval() > firstLegMs - 200,
                    qPrintable(QString::number(timer->interval())));
                if (firstLegMs > 2000)
                    f.endDelayNow();
            });
        });
        f.printAll();

        QCOMPARE(seenDelay, firstLegMs > 0);
        QVERIFY(!printedDuringDelay);
        QCOMPARE(f.browser->printed, QStringList { QStringLiteral("one") });
        QVERIFY(!f.form->findChild<QTimer*>(QStringLiteral("delayTimer"))->isActive());
    }

    void printAll_delayWait_doesNotSpinTheProcessor()
    {
        Fixture f;
        f.setPages({ QStringLiteral("one") });
        named<QSpinBox>(*f.form, "delaySpin")->setValue(1);
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        f.printAll();
        const double cpu = processCpuSeconds() - cpuBefore;
        QVERIFY(wall.elapsed() >= 990); // millisecond clocks round differently
        QVERIFY2(cpu < 0.5, qPrintable(QStringLiteral("%1 s of processor time in a 1 s wait").arg(cpu)));
    }

    void printAll_applicationQuittingDuringRun_stillWaitsWithoutSpinning()
    {
        // Once the application is told to quit, a new event loop returns at once; the
        // run's waits must not turn into a busy loop then.
        Fixture f;
        f.setPages({ QStringLiteral("one"), QStringLiteral("two") });
        named<QSpinBox>(*f.form, "delaySpin")->setValue(1);
        f.browser->loadMs = 50;
        f.browser->onNavigate = [&](const QString& page) {
            if (page == QLatin1String("one"))
                QCoreApplication::exit(0);
        };
        const double cpuBefore = processCpuSeconds();
        f.printAll();
        const double cpu = processCpuSeconds() - cpuBefore;
        QCOMPARE(f.browser->printed, (QStringList { "one", "two" }));
        QVERIFY2(cpu < 1.0, qPrintable(QStringLiteral("%1 s of processor time in 2 s of waits").arg(cpu)));
    }

    void printAll_entryRemovedDuringWait_skipsTheEntryThatMovesIn()
    {
        Fixture f;
        // One page at a time, so that B waits for its own load, and the list changes meanwhile.
        setOverlap(f, false);
        f.setPages({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D") });
        f.browser->loadMs = 20;
        f.browser->onNavigate = [&](const QString& address) {
            if (address == QLatin1String("B"))
                QTimer::singleShot(0, f.form.get(), [&] { delete named<PageListBox>(*f.form, "pageList")->takeItem(0); });
        };
        QStringList statuses;
        f.browser->onPrint = [&](const QString&) { statuses << f.form->statusText(); };
        f.printAll();

        QCOMPARE(f.browser->navigations, (QStringList { "A", "B", "D" }));
        QCOMPARE(f.browser->printed, (QStringList { "A", "B", "D" }));
        QCOMPARE(statuses, (QStringList { "Printing: A", "Printing: C", "Printing: D" }));
        QCOMPARE(f.dialogs.messages.last().text, successText);
    }

    // Loading the next entry ahead changes nothing anyone sees: the same status
    // texts, errors, jobs and log lines in the same order as one entry at a time.
    void printAll_overlap_showsTheSameRunAsOneAtATime_data()
    {
        QTest::addColumn<int>("loadMs");
        QTest::newRow("loads end during the print before") << 5;
        QTest::newRow("loads end at once") << 0;
        QTest::newRow("loads outlast the print before") << 60;
    }
    void printAll_overlap_showsTheSameRunAsOneAtATime()
    {
        QFETCH(int, loadMs);
        const QStringList pages { "good", "fails", "unprintable", "fails-unprintable", "hangs", "fails", "last" };
        RunTrace traces[2];
        QStringList takenOver[2];
        int mostHeld[2] = {};
        for (const bool overlap : { false, true }) {
            Fixture f(400);
            setOverlap(f, overlap);
            f.setPages(pages);
            f.browser->loadMs = loadMs;
            f.browser->failing = { "fails", "fails-unprintable" };
            f.browser->unprintable = { "unprintable", "fails-unprintable" };
            f.browser->hanging = { "hangs" };
            traces[overlap] = traceRun(f);
            takenOver[overlap] = f.browser->takenOver;
            mostHeld[overlap] = f.browser->mostHeld;
            QCOMPARE(f.browser->printed, (QStringList { "good", "fails", "hangs", "fails", "last" }));
            QCOMPARE(f.browser->stops, 1);
        }
        QCOMPARE(traces[1].steps, traces[0].steps);
        QCOMPARE(traces[1].logLines, traces[0].logLines);
        QCOMPARE(traces[1].errorCount, traces[0].errorCount);
        QCOMPARE(traces[0].logLines,
            (QStringList { "Navigate Error: fails", "Print Error: unprintable", "Navigate Error: fails-unprintable",
                "Navigate Error: hangs", "Navigate Error: fails" }));
        // Switched off, nothing loads ahead; on, every entry after the first did.
        QVERIFY(takenOver[0].isEmpty());
        QCOMPARE(mostHeld[0], 1);
        QCOMPARE(mostHeld[1], 2);
        QCOMPARE(takenOver[1], pages.mid(1));
    }

    // A load begun ahead has used part of its bound: a page that never finishes is
    // given up when its turn comes if the bound ran out while the one before waited.
    void printAll_overlap_loadBoundCountsFromThePreload()
    {
        Fixture f(800);
        f.setPages({ QStringLiteral("A"), QStringLiteral("hangs") });
        f.browser->hanging = { QStringLiteral("hangs") };
        f.setDelayText(QStringLiteral("1"));
        QElapsedTimer turn;
        f.browser->onNavigate = [&](const QString& address) {
            if (address == QLatin1String("hangs"))
                turn.start();
        };
        qint64 waitedMs = -1;
        f.browser->onPrint = [&](const QString& shown) {
            if (shown == QLatin1String("hangs"))
                waitedMs = turn.elapsed();
        };
        f.printAll();
        QCOMPARE(f.browser->takenOver, QStringList { "hangs" });
        QCOMPARE(f.browser->stops, 1);
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: hangs") });
        // Its own delay still ran in full after it was given up.
        QVERIFY2(waitedMs >= 1000, qPrintable(QString::number(waitedMs)));
        QVERIFY2(waitedMs < 1000 + 600, qPrintable(QString::number(waitedMs)));
    }

    // The list is read afresh at each step: when the entry loaded ahead is no longer
    // the next one, it is thrown away and the entry that is next is loaded.
    void printAll_overlap_listChangedDuringRun_loadsTheEntryNowNext_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("printed");
        QTest::addColumn<QStringList>("discarded");
        QTest::newRow("next entry deleted") << "delete B" << QStringList { "A", "C", "D" } << QStringList { "B" };
        QTest::newRow("entry inserted before the next")
            << "insert N" << QStringList { "A", "N", "B", "C", "D" } << QStringList { "B" };
        QTest::newRow("entry before deleted")
            << "delete A" << QStringList { "A", "C", "D" } << QStringList { "B" };
        QTest::newRow("entry added after the end")
            << "append E" << QStringList { "A", "B", "C", "D", "E" } << QStringList {};
    }
    void printAll_overlap_listChangedDuringRun_loadsTheEntryNowNext()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, printed);
        QFETCH(QStringList, discarded);
        RunTrace traces[2];
        for (const bool overlap : { false, true }) {
            Fixture f;
            setOverlap(f, overlap);
            f.setPages({ "A", "B", "C", "D" });
            f.browser->loadMs = 5;
            auto* list = named<PageListBox>(*f.form, "pageList");
            // The change comes while A prints, once B is loading ahead.
            bool changed = false;
            traces[overlap] = [&] {
                RunTrace trace;
                f.browser->onNavigate = [&](const QString& address) {
                    trace.steps << QStringLiteral("navigate %1 | %2").arg(address, f.form->statusText());
                };
                f.browser->onPrint = [&](const QString& shown) {
                    trace.steps << QStringLiteral("print %1 | %2").arg(shown, f.form->statusText());
                    if (changed || shown != QLatin1String("A"))
                        return;
                    changed = true;
                    if (change == QLatin1String("delete B"))
                        delete list->takeItem(1);
                    else if (change == QLatin1String("delete A"))
                        delete list->takeItem(0);
                    else if (change == QLatin1String("insert N"))
                        list->insertItem(1, QStringLiteral("N"));
                    else
                        list->addItem(QStringLiteral("E"));
                };
                f.printAll();
                return trace;
            }();
            QCOMPARE(f.browser->printed, printed);
            QCOMPARE(f.browser->discarded, overlap ? discarded : QStringList {});
            QCOMPARE(f.dialogs.messages.last().text, successText);
        }
        QCOMPARE(traces[1].steps, traces[0].steps);
    }

    void printAll_listShortenedDuringWait_endsWithListIndexError()
    {
        Fixture f;
        // One page at a time, so that B waits for its own load, and the list changes meanwhile.
        setOverlap(f, false);
        f.setPages({ QStringLiteral("A"), QStringLiteral("B") });
        f.browser->loadMs = 20;
        f.browser->onNavigate = [&](const QString& address) {
            if (address == QLatin1String("B"))
                QTimer::singleShot(0, f.form.get(), [&] { named<PageListBox>(*f.form, "pageList")->clear(); });
        };
        f.printAll();
        QCOMPARE(f.browser->printed, QStringList { "A" });
        QCOMPARE(f.form->statusText(), QStringLiteral("Navigating: B"));
        QCOMPARE(f.dialogs.beeps, 0);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("Dorvantis"));
        QVERIFY(f.dialogs.messages[0].text.startsWith(QStringLiteral("List index out of bounds (1)")));
    }

    void printAll_failureResult_endsRunKeepingStatusWithoutClosingMessage_data()
    {
        QTest::addColumn<bool>("inPrint");
        QTest::addColumn<QString>("status");
        QTest::newRow("print fails") << true << QStringLiteral("Printing: B");
        QTest::newRow("navigate fails") << false << QStringLiteral("Navigating: B");
    }

    void printAll_failureResult_endsRunKeepingStatusWithoutClosingMessage()
    {
        QFETCH(bool, inPrint);
        QFETCH(QString, status);
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") });
        named<QSpinBox>(*f.form, "delaySpin")->setValue(1);
        const QString failure = QStringLiteral("No default printer is set up.");
        f.browser->loadFailure = failure;
        if (inPrint)
            f.browser->onNavigate = [&](const QString& page) {
                if (page == QLatin1String("B"))
                    f.browser->printFailure = failure;
            };
        else
            f.browser->refused = { QStringLiteral("B") };
        // Keeps each page's delay short.
        connect(f.browser, &dv::PageSource::loaded, f.browser, [&] {
            QTimer::singleShot(10, f.browser, [&] { f.endDelayNow(); });
        });
        f.printAll();

        QCOMPARE(f.form->statusText(), status);
        QCOMPARE(f.browser->printed, QStringList { "A" });
        QCOMPARE(f.dialogs.beeps, 0);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, failure);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        QVERIFY(!f.form->findChild<QTimer*>(QStringLiteral("delayTimer"))->isActive());
        QVERIFY(named<QProgressBar>(*f.form, "runProgress")->isHidden());

        // The failed run left nothing behind: the next one runs normally.
        f.browser->printFailure.clear();
        f.browser->refused.clear();
        f.browser->onNavigate = nullptr;
        named<QSpinBox>(*f.form, "delaySpin")->setValue(0);
        f.printAll();
        QCOMPARE(f.dialogs.messages.last().text, successText);
    }

    void commandsDuringRun_onlyBeep()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B") });
        f.form->show();
        f.form->followPageList(); // buttons enabled while the list has entries
        f.browser->onPrint = [&](const QString& page) {
            if (page != QLatin1String("A"))
                return;
            named<QAction>(*f.form, "printAllAction")->trigger();
            named<QPushButton>(*f.form, "printAllButton")->click();
            named<QPushButton>(*f.form, "printPreviewButton")->click();
            // A double-click would load another page into the browser the run prints from.
            named<PageListBox>(*f.form, "pageList")->setCurrentRow(1);
            f.form->showCaretEntry();
        };
        f.printAll();
        QCOMPARE(f.browser->navigations, (QStringList { "A", "B" }));
        QVERIFY(f.previewed.isEmpty());
        QCOMPARE(f.dialogs.beeps, 4 + 1); // four refused commands, then the run's own
        QCOMPARE(f.dialogs.messages.size(), 1);
    }

    void printAll_loadNeverCompletes_isGivenUpAndRunGoesOn()
    {
        Fixture f(300);
        f.setPages({ QStringLiteral("A"), QStringLiteral("hangs"), QStringLiteral("C") });
        f.browser->hanging = { QStringLiteral("hangs") };
        QElapsedTimer wall;
        wall.start();
        f.printAll();
        QVERIFY(wall.elapsed() >= 300);
        QCOMPARE(f.browser->stops, 1);
        QCOMPARE(f.browser->printed, (QStringList { "A", "hangs", "C" }));
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: hangs") });
        QCOMPARE(f.dialogs.messages.last().text, withErrorsText);
    }

    void closeDuringRun_takesEffectAfterClosingMessage()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B") });
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        f.browser->onPrint = [&](const QString& page) {
            if (page == QLatin1String("A"))
                named<QAction>(*f.form, "exitAction")->trigger();
        };
        bool visibleAtMessage = false;
        f.dialogs.onMessage = [&](const dv::test::ShownMessage&) { visibleAtMessage = f.form->isVisible(); };
        f.printAll();
        QCOMPARE(f.browser->printed, (QStringList { "A", "B" }));
        QVERIFY(visibleAtMessage);
        QVERIFY(!f.form->isVisible());
    }

    void preview_emptyList_onlyBeeps()
    {
        Fixture f;
        f.previewCurrent();
        QCOMPARE(f.dialogs.beeps, 1);
        QVERIFY(f.browser->navigations.isEmpty());
        QVERIFY(f.previewed.isEmpty());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void preview_caretEntry_isLoadedAndPreviewedQuietly()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("bad"), QStringLiteral("C") });
        f.browser->failing = { QStringLiteral("bad") };
        named<PageListBox>(*f.form, "pageList")->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        f.form->setStatusText(QStringLiteral("before"));
        named<QSpinBox>(*f.form, "delaySpin")->setValue(5);
        f.previewCurrent();
        QCOMPARE(f.browser->navigations, QStringList { "bad" });
        QCOMPARE(f.previewed, QStringList { "bad" });
        QCOMPARE(f.form->navigateErrorCount(), qint64(1)); // counted and logged, nothing shown
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: bad") });
        QCOMPARE(f.form->statusText(), QStringLiteral("before"));
        QCOMPARE(f.dialogs.beeps, 0);
        QVERIFY(f.dialogs.messages.isEmpty());

        // No caret yet: the first entry.
        Fixture g;
        g.setPages({ QStringLiteral("first"), QStringLiteral("second") });
        named<PageListBox>(*g.form, "pageList")->setCurrentRow(-1);
        g.previewCurrent();
        QCOMPARE(g.previewed, QStringList { "first" });
    }

    void menuItems_actOnlyWhileButtonsAreEnabled()
    {
        Fixture f;
        named<QAction>(*f.form, "printAllAction")->trigger();
        named<QAction>(*f.form, "printPreviewAction")->trigger();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.beeps, 0);
        f.setPages({ QStringLiteral("A") });
        f.form->followPageList();
        named<QAction>(*f.form, "printAllAction")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !f.form->isCommandRunning(); }));
        QCOMPARE(f.browser->printed, QStringList { "A" });
        named<QAction>(*f.form, "printPreviewAction")->trigger();
        QVERIFY(QTest::qWaitFor([&] { return !f.form->isCommandRunning(); }));
        QCOMPARE(f.previewed, QStringList { "A" });
    }
};

QTEST_MAIN(TestPrintRun)
#include "tst_printrun.moc"

