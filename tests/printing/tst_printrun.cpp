// The print and preview commands of the main window, driven through a scripted
// browser: the order of steps, the delay, the list read afresh, the closing
// messages, failures, re-entry, the load bound and a close during a run.
#include "appform.h"
#include "errordialog.h"
#include "listbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedbrowser.h"
#include "services.h"

#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <limits>
#include <type_traits>

using dv::test::RecordingDialogs;
using dv::test::RecordingShell;
using dv::test::ScriptedBrowser;

namespace
{

const QString completeCaption = QStringLiteral("COMPLETE");
const QString withErrorsText = QStringLiteral("Completed with errors!\rPlease check Error Log.");
const QString successText = QStringLiteral("Successfully completed.");

struct Fixture {
    explicit Fixture(int loadTimeoutMs = 60000)
        : registry(dir.filePath(QStringLiteral("registry.json")))
    {
        dv::installErrorDialogs(&dialogs);
        AppParts parts;
        parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.loadTimeoutMs = loadTimeoutMs;
        parts.browserFactory = [this](QWidget* parent) {
            auto b = std::make_unique<ScriptedBrowser>(parent);
            browser = b.get();
            return b;
        };
        form = std::make_unique<TAppForm>(services, parts);
        form->SpinEdit1->setValue(0);
    }
    ~Fixture() { dv::installErrorDialogs(nullptr); }

    void setPages(const QStringList& pages)
    {
        form->ListBox1->clear();
        form->ListBox1->appendMany(pages);
    }
    void setDelayText(const QString& text) { form->SpinEdit1->findChild<QLineEdit*>()->setText(text); }
    // Lets the delay now running end at once, as if its time had passed.
    void endDelayNow()
    {
        form->delayDeadlineMs = QDeadlineTimer::current().deadline();
        form->TimerDelay->start(1);
    }
    QStringList logLines() const
    {
        const QString text = form->Memo1->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    bool logTabVisible() const
    {
        return form->PageControl1->isTabVisible(form->PageControl1->indexOf(form->TabSheet3));
    }

    QTemporaryDir dir;
    RecordingDialogs dialogs;
    RecordingShell shell;
    dv::RegistryStore registry;
    dv::Services services { dialogs, shell, registry };
    ScriptedBrowser* browser = nullptr;
    std::unique_ptr<TAppForm> form;
};

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
            QVERIFY(f.form->ProgressBar1->isVisible() || !f.form->isVisible());
            progressAtPrint << qMakePair(f.form->ProgressBar1->value(), f.form->ProgressBar1->maximum());
        };
        f.form->show();
        f.form->Button4Click();

        QCOMPARE(f.browser->navigations, f.form->ListBox1->entries());
        QCOMPARE(f.browser->printed, f.form->ListBox1->entries());
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
        QVERIFY(f.form->ProgressBar1->isHidden());
        QVERIFY(!f.logTabVisible());
    }

    void printAll_emptyList_beepsAndEndsSuccessfully()
    {
        Fixture f;
        int beepsAtMessage = -1;
        f.dialogs.onMessage = [&](const dv::test::ShownMessage&) { beepsAtMessage = f.dialogs.beeps; };
        f.form->Button4Click();
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
        static_assert(std::is_same_v<decltype(f.form->NavigateErrorCount), qint64>);
        f.setPages({ QStringLiteral("good"), QStringLiteral("bad1"), QStringLiteral("bad2") });
        f.browser->failing = { QStringLiteral("bad1"), QStringLiteral("bad2") };
        f.form->PageControl1->setCurrentWidget(f.form->TabSheet1);
        f.form->Button4Click();

        QCOMPARE(f.browser->printed, f.form->ListBox1->entries()); // error pages print too
        QCOMPARE(f.form->NavigateErrorCount, qint64(2));
        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Navigate Error: bad1"), QStringLiteral("Navigate Error: bad2") }));
        QVERIFY(f.logTabVisible());
        QCOMPARE(f.form->PageControl1->currentWidget(), f.form->TabSheet1);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].caption, completeCaption);
        QCOMPARE(f.dialogs.messages[0].text, withErrorsText);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONWARNING));

        // The next run over good pages starts counting afresh; the log keeps growing.
        f.setPages({ QStringLiteral("good") });
        f.form->Button4Click();
        QCOMPARE(f.dialogs.messages.size(), 2);
        QCOMPARE(f.dialogs.messages[1].text, successText);
        QCOMPARE(f.dialogs.messages[1].flags, int(dv::MB_ICONINFORMATION));
        QCOMPARE(f.logLines().size(), 2);
        QVERIFY(f.logTabVisible());
    }

    void navigateErrorOutsideRun_isCountedButResetByNextRun()
    {
        Fixture f;
        f.form->NavigateErrorCount = std::numeric_limits<qint32>::max();
        emit f.browser->navigateError(QStringLiteral("http://127.0.0.1:1/x"));
        QCOMPARE(f.form->NavigateErrorCount, qint64(std::numeric_limits<qint32>::max()) + 1);
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: http://127.0.0.1:1/x") });
        f.setPages({ QStringLiteral("good") });
        f.form->Button4Click();
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
        const int sentinel = 12345;
        f.form->TimerDelay->setInterval(sentinel);
        bool seenDelay = false;
        bool printedDuringDelay = false;
        // Looks at the timer once the page has loaded and the delay, if any, began.
        connect(f.browser, &dv::BrowserControl::readyStateChanged, f.browser, [&] {
            if (f.browser->readyState() != dv::BrowserControl::ReadyStateComplete)
                return;
            QTimer::singleShot(20, f.browser, [&] {
                if (!f.form->TimerDelay->isActive())
                    return;
                seenDelay = true;
                printedDuringDelay = !f.browser->printed.isEmpty();
                QCOMPARE(f.form->TimerDelay->interval(), firstLegMs);
                QVERIFY(!f.form->DelayElapsed);
                if (firstLegMs == std::numeric_limits<int>::max()) {
                    // One leg over, years still to go: the wait goes on.
                    f.form->TimerDelayTimer();
                    QVERIFY(f.form->TimerDelay->isActive());
                    QVERIFY(!f.form->DelayElapsed);
                    QVERIFY(f.form->delayDeadlineMs - QDeadlineTimer::current().deadline() > 999999000LL * 1000);
                }
                if (firstLegMs > 2000)
                    f.endDelayNow();
            });
        });
        f.form->Button4Click();

        QCOMPARE(seenDelay, firstLegMs > 0);
        QVERIFY(!printedDuringDelay);
        if (firstLegMs < 0)
            QCOMPARE(f.form->TimerDelay->interval(), sentinel);
        QCOMPARE(f.browser->printed, QStringList { QStringLiteral("one") });
        QVERIFY(!f.form->TimerDelay->isActive());
        QVERIFY(f.form->DelayElapsed);
    }

    void printAll_delayWait_doesNotSpinTheProcessor()
    {
        Fixture f;
        f.setPages({ QStringLiteral("one") });
        f.form->SpinEdit1->setValue(1);
        const double cpuBefore = processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        f.form->Button4Click();
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
        f.form->SpinEdit1->setValue(1);
        f.browser->loadMs = 50;
        f.browser->onNavigate = [&](const QString& page) {
            if (page == QLatin1String("one"))
                QCoreApplication::exit(0);
        };
        const double cpuBefore = processCpuSeconds();
        f.form->Button4Click();
        const double cpu = processCpuSeconds() - cpuBefore;
        QCOMPARE(f.browser->printed, (QStringList { "one", "two" }));
        QVERIFY2(cpu < 1.0, qPrintable(QStringLiteral("%1 s of processor time in 2 s of waits").arg(cpu)));
    }

    void printAll_entryRemovedDuringWait_skipsTheEntryThatMovesIn()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D") });
        f.browser->loadMs = 20;
        f.browser->onNavigate = [&](const QString& address) {
            if (address == QLatin1String("B"))
                QTimer::singleShot(0, f.form.get(), [&] { delete f.form->ListBox1->takeItem(0); });
        };
        QStringList statuses;
        f.browser->onPrint = [&](const QString&) { statuses << f.form->statusText(); };
        f.form->Button4Click();

        QCOMPARE(f.browser->navigations, (QStringList { "A", "B", "D" }));
        QCOMPARE(f.browser->printed, (QStringList { "A", "B", "D" }));
        QCOMPARE(statuses, (QStringList { "Printing: A", "Printing: C", "Printing: D" }));
        QCOMPARE(f.dialogs.messages.last().text, successText);
    }

    void printAll_listShortenedDuringWait_endsWithListIndexError()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B") });
        f.browser->loadMs = 20;
        f.browser->onNavigate = [&](const QString& address) {
            if (address == QLatin1String("B"))
                QTimer::singleShot(0, f.form.get(), [&] { f.form->ListBox1->clear(); });
        };
        f.form->Button4Click();
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
        f.form->SpinEdit1->setValue(1);
        const QString failure = QStringLiteral("No default printer is set up.");
        auto failOnB = [&](const QString& page) {
            if (page == QLatin1String("B")) {
                if (inPrint)
                    f.browser->printFailure = failure;
                else
                    f.browser->navigateFailure = failure;
            }
        };
        f.browser->onNavigate = failOnB;
        f.browser->onPrint = [&](const QString&) {
            if (f.form->TimerDelay->isActive() == false)
                f.endDelayNow(); // keeps the second page's delay short
        };
        connect(f.browser, &dv::BrowserControl::readyStateChanged, f.browser, [&] {
            QTimer::singleShot(10, f.browser, [&] {
                if (f.form->TimerDelay->isActive())
                    f.endDelayNow();
            });
        });
        f.form->Button4Click();

        QCOMPARE(f.form->statusText(), status);
        QCOMPARE(f.browser->printed, QStringList { "A" });
        QCOMPARE(f.dialogs.beeps, 0);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, failure);
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        QVERIFY(!f.form->TimerDelay->isActive());
        QVERIFY(f.form->ProgressBar1->isHidden());

        // The failed run left nothing behind: the next one runs normally.
        f.browser->printFailure.clear();
        f.browser->navigateFailure.clear();
        f.browser->onNavigate = nullptr;
        f.form->SpinEdit1->setValue(0);
        f.form->Button4Click();
        QCOMPARE(f.dialogs.messages.last().text, successText);
    }

    void commandsDuringRun_onlyBeep()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("B") });
        f.form->show();
        f.form->Timer1Timer(); // buttons enabled while the list has entries
        f.browser->onPrint = [&](const QString& page) {
            if (page != QLatin1String("A"))
                return;
            f.form->PrintAll1->trigger();
            f.form->Button4->click();
            f.form->Button3->click();
            // A double-click would load another page into the browser the run prints from.
            f.form->ListBox1->setCurrentRow(1);
            f.form->ListBox1DblClick();
        };
        f.form->Button4Click();
        QCOMPARE(f.browser->navigations, (QStringList { "A", "B" }));
        QVERIFY(f.browser->previewed.isEmpty());
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
        f.form->Button4Click();
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
                f.form->Exit1Click();
        };
        bool visibleAtMessage = false;
        f.dialogs.onMessage = [&](const dv::test::ShownMessage&) { visibleAtMessage = f.form->isVisible(); };
        f.form->Button4Click();
        QCOMPARE(f.browser->printed, (QStringList { "A", "B" }));
        QVERIFY(visibleAtMessage);
        QVERIFY(!f.form->isVisible());
    }

    void preview_emptyList_onlyBeeps()
    {
        Fixture f;
        f.form->Button3Click();
        QCOMPARE(f.dialogs.beeps, 1);
        QVERIFY(f.browser->navigations.isEmpty());
        QVERIFY(f.browser->previewed.isEmpty());
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void preview_caretEntry_isLoadedAndPreviewedQuietly()
    {
        Fixture f;
        f.setPages({ QStringLiteral("A"), QStringLiteral("bad"), QStringLiteral("C") });
        f.browser->failing = { QStringLiteral("bad") };
        f.form->ListBox1->setCurrentRow(1, QItemSelectionModel::NoUpdate);
        f.form->setStatusText(QStringLiteral("before"));
        f.form->SpinEdit1->setValue(5);
        f.form->Button3Click();
        QCOMPARE(f.browser->navigations, QStringList { "bad" });
        QCOMPARE(f.browser->previewed, QStringList { "bad" });
        QCOMPARE(f.form->NavigateErrorCount, qint64(1)); // counted and logged, nothing shown
        QCOMPARE(f.logLines(), QStringList { QStringLiteral("Navigate Error: bad") });
        QCOMPARE(f.form->statusText(), QStringLiteral("before"));
        QVERIFY(!f.form->TimerDelay->isActive());
        QCOMPARE(f.dialogs.beeps, 0);
        QVERIFY(f.dialogs.messages.isEmpty());

        // No caret yet: the first entry.
        Fixture g;
        g.setPages({ QStringLiteral("first"), QStringLiteral("second") });
        g.form->ListBox1->setCurrentRow(-1);
        g.form->Button3Click();
        QCOMPARE(g.browser->previewed, QStringList { "first" });
    }

    void menuItems_actOnlyWhileButtonsAreEnabled()
    {
        Fixture f;
        f.form->PrintAll1->trigger();
        f.form->PrintPreview1->trigger();
        QVERIFY(f.dialogs.messages.isEmpty());
        QCOMPARE(f.dialogs.beeps, 0);
        f.setPages({ QStringLiteral("A") });
        f.form->Timer1Timer();
        f.form->PrintAll1->trigger();
        QCOMPARE(f.browser->printed, QStringList { "A" });
        f.form->PrintPreview1->trigger();
        QCOMPARE(f.browser->previewed, QStringList { "A" });
    }
};

QTEST_MAIN(TestPrintRun)
#include "tst_printrun.moc"
