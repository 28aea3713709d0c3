// The run engine with a scripted page source and a recording output: the order of
// what it tells, with one page and several side by side; the list read afresh;
// pages handed over in list order whatever finishes first; each page's own
// delay; and every event a page source can report, early, late or out of turn.
#include "runengine.h"
#include "scriptedpagesource.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <memory>

using dv::EntryFailure;
using dv::EntryResult;
using dv::RunEngine;
using dv::RunSummary;
using dv::test::RecordingOutput;
using dv::test::ScriptedPageSource;

namespace
{

QString outcomeName(EntryResult::Outcome outcome)
{
    switch (outcome) {
    case EntryResult::Outcome::Printed:
        return QStringLiteral("printed");
    case EntryResult::Outcome::NavigateError:
        return QStringLiteral("navigate error");
    case EntryResult::Outcome::PrintError:
        return QStringLiteral("print error");
    }
    return {};
}

// One run over a list the test may change while it goes on.
struct Run {
    ScriptedPageSource source;
    RecordingOutput output;
    QStringList list;
    dv::RunSettings settings;
    // What the engine told, one line per signal.
    QStringList told;
    RunSummary summary;
    bool ended = false;
    std::unique_ptr<RunEngine> engine;

    explicit Run(const QStringList& entries, int pagesAtOnce = 1)
        : list(entries)
    {
        settings.pagesAtOnce = pagesAtOnce;
        settings.loadTimeoutMs = 60000;
    }

    dv::RunEntries entries()
    {
        return { [this] { return qint64(list.size()); },
            [this](qint64 position) {
                if (position < 0 || position >= list.size())
                    throw dv::AppError(QStringLiteral("List index out of bounds (%1)").arg(position));
                return list.at(position);
            } };
    }

    void start()
    {
        engine = std::make_unique<RunEngine>(source, output, entries(), settings);
        QObject::connect(engine.get(), &RunEngine::entryStarted, engine.get(),
            [this](qint64 position, const QString& address) { told << QStringLiteral("start %1 %2").arg(position).arg(address); });
        QObject::connect(engine.get(), &RunEngine::entryPrinting, engine.get(),
            [this](qint64 position, const QString& address) { told << QStringLiteral("print %1 %2").arg(position).arg(address); });
        QObject::connect(engine.get(), &RunEngine::entryFailed, engine.get(),
            [this](qint64 position, EntryFailure kind, const QString& subject) {
                told << QStringLiteral("log %1 %2").arg(position).arg(dv::errorLogLine(kind, subject));
            });
        QObject::connect(engine.get(), &RunEngine::entryDone, engine.get(),
            [this](qint64 position, const EntryResult& result) {
                told << QStringLiteral("done %1 %2").arg(position).arg(outcomeName(result.outcome));
            });
        QObject::connect(engine.get(), &RunEngine::finished, engine.get(), [this](const RunSummary& result) {
            summary = result;
            ended = true;
        });
        engine->start();
    }

    // Starts the run and waits for its end.
    bool run(int timeoutMs = 20000)
    {
        start();
        return QTest::qWaitFor([this] { return ended; }, timeoutMs);
    }

    QStringList delivered() const
    {
        QStringList out;
        for (const auto& d : output.delivered)
            out << QStringLiteral("%1 %2%3").arg(d.position).arg(d.address, d.failed ? QStringLiteral(" (failed)") : QString());
        return out;
    }
};

} // namespace

class TestRunEngine : public QObject
{
    Q_OBJECT

private slots:
    // A mixed list tells the same signals in the same order, one page or several at once.
    void mixedList_signalsInListOrder_data()
    {
        QTest::addColumn<int>("pagesAtOnce");
        QTest::addColumn<int>("loadMs");
        for (int pages : { 1, 2, 4 })
            for (int loadMs : { 0, 30 })
                QTest::addRow("%d at once, loads of %d ms", pages, loadMs) << pages << loadMs;
    }
    void mixedList_signalsInListOrder()
    {
        QFETCH(int, pagesAtOnce);
        QFETCH(int, loadMs);
        Run r({ "good", "fails", "unprintable", "hangs", "fails-unprintable", "last" }, pagesAtOnce);
        r.settings.loadTimeoutMs = 300;
        r.source.loadMs = loadMs;
        r.source.failing = { "fails", "fails-unprintable" };
        r.source.unprintable = { "unprintable", "fails-unprintable" };
        r.source.hanging = { "hangs" };
        QVERIFY(!r.ended);
        QVERIFY(r.run());

        QCOMPARE(r.told,
            (QStringList { "start 0 good", "print 0 good", "done 0 printed", //
                "start 1 fails", "log 1 Navigate Error: fails", "print 1 fails", "done 1 navigate error", //
                "start 2 unprintable", "print 2 unprintable", "log 2 Print Error: unprintable", "done 2 print error", //
                "start 3 hangs", "log 3 Navigate Error: hangs", "print 3 hangs", "done 3 navigate error", //
                "start 4 fails-unprintable", "log 4 Navigate Error: fails-unprintable", "print 4 fails-unprintable",
                "done 4 navigate error", //
                "start 5 last", "print 5 last", "done 5 printed" }));
        // A page that failed to load is handed over all the same, marked; one whose
        // load was given up at the bound is not marked for that line alone.
        QCOMPARE(r.delivered(), (QStringList { "1 good", "2 fails (failed)", "4 hangs", "6 last" }));
        QCOMPARE(r.output.opened, QList<qint64> { 6 });
        QCOMPARE(r.output.finished, 1);
        QCOMPARE(r.summary.entries, qint64(6));
        QCOMPARE(r.summary.printed, qint64(2));
        QCOMPARE(r.summary.errorLines, qint64(4));
        QVERIFY(!r.summary.error);
        QCOMPARE(r.source.stops, 1);
        QVERIFY(r.source.mostHeld <= pagesAtOnce);
        if (pagesAtOnce > 1)
            QCOMPARE(r.source.takenOver.size(), 5); // every entry after the first was loaded ahead
    }

    // The list is read afresh at each step, whatever was loaded ahead.
    void listChangedDuringRun_theListAsItNowIsPrints_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("printed");
        QTest::addColumn<QStringList>("statusAtPrint");
        QTest::newRow("next entry deleted") << "delete B" << QStringList { "A", "C", "D" } << QStringList { "A", "C", "D" };
        QTest::newRow("entry inserted before the next")
            << "insert N" << QStringList { "A", "N", "B", "C", "D" } << QStringList { "A", "N", "B", "C", "D" };
        QTest::newRow("entry before deleted") << "delete A" << QStringList { "A", "C", "D" } << QStringList { "A", "C", "D" };
        QTest::newRow("entry added after the end")
            << "append E" << QStringList { "A", "B", "C", "D", "E" } << QStringList { "A", "B", "C", "D", "E" };
        QTest::newRow("every later entry deleted") << "delete rest" << QStringList { "A" } << QStringList { "A" };
    }
    void listChangedDuringRun_theListAsItNowIsPrints()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, printed);
        QFETCH(QStringList, statusAtPrint);
        Run r({ "A", "B", "C", "D" }, 2);
        r.source.loadMs = 5;
        // The change comes while A prints, once B is loading ahead.
        r.source.onPrint = [&](const QString& shown) {
            if (shown != QLatin1String("A"))
                return;
            if (change == QLatin1String("delete B"))
                r.list.removeAt(1);
            else if (change == QLatin1String("delete A"))
                r.list.removeAt(0);
            else if (change == QLatin1String("insert N"))
                r.list.insert(1, QStringLiteral("N"));
            else if (change == QLatin1String("append E"))
                r.list << QStringLiteral("E");
            else
                r.list = r.list.mid(0, 1);
        };
        QVERIFY(r.run());
        QCOMPARE(r.source.printed, printed);
        QStringList atPrint;
        for (const QString& line : std::as_const(r.told))
            if (line.startsWith(QLatin1String("print ")))
                atPrint << line.section(QLatin1Char(' '), 2);
        QCOMPARE(atPrint, statusAtPrint);
        QVERIFY(!r.summary.error);
        QVERIFY(r.source.mostHeld <= 2);
    }

    // Later pages that finish loading first still reach the output after the ones before them.
    void laterPagesFinishFirst_outputKeepsListOrder()
    {
        Run r({ "slow", "quick1", "quick2", "quick3" }, 4);
        r.source.loadMsFor = { { "slow", 300 } };
        QStringList loadedOrder;
        connect(&r.source, &dv::PageSource::loaded, &r.source, [&](int page) { loadedOrder << QString::number(page); });
        QVERIFY(r.run());
        QCOMPARE(r.delivered(), (QStringList { "1 slow", "2 quick1", "3 quick2", "4 quick3" }));
        QCOMPARE(r.source.navigations, (QStringList { "slow", "quick1", "quick2", "quick3" }));
        // The first page's load ended after the ones loaded beside it.
        QCOMPARE(loadedOrder.first(), QStringLiteral("0"));
        QVERIFY(r.source.loads.size() == 4);
    }

    // Each page waits its own delay after its own load; pages loaded side by side wait side by side.
    void delay_eachPageWaitsItsOwnAfterItsOwnLoad()
    {
        Run r({ "A", "B", "C", "D" }, 4);
        r.settings.delaySeconds = [] { return qint64(1); };
        QElapsedTimer clock;
        QHash<QString, qint64> loadedAt;
        QHash<QString, qint64> printedAt;
        connect(&r.source, &dv::PageSource::loaded, &r.source, [&](int) {
            // Which entry ended is the one of the load asked for longest ago and not yet ended.
            for (const QString& address : std::as_const(r.source.loads))
                if (!loadedAt.contains(address)) {
                    loadedAt.insert(address, clock.elapsed());
                    break;
                }
        });
        r.source.onPrint = [&](const QString& shown) { printedAt.insert(shown, clock.elapsed()); };
        clock.start();
        QVERIFY(r.run());
        for (const char* page : { "A", "B", "C", "D" })
            QVERIFY2(printedAt.value(page) >= loadedAt.value(page) + 1000, qPrintable(page));
        // One after another they would have waited 4 s in all.
        QVERIFY2(clock.elapsed() < 3500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(r.source.printed, (QStringList { "A", "B", "C", "D" }));
    }

    // Errors met by a page loaded ahead are told in its own turn, after its start.
    void errorOfPageLoadedAhead_isToldInItsTurn()
    {
        Run r({ "A", "fails" }, 2);
        r.settings.delaySeconds = [] { return qint64(0); };
        r.source.failing = { "fails" };
        r.source.loadMsFor = { { "A", 50 } };
        QVERIFY(r.run());
        QCOMPARE(r.told.indexOf("log 1 Navigate Error: fails"), r.told.indexOf("start 1 fails") + 1);
        QCOMPARE(r.source.takenOver, QStringList { "fails" });
    }

    // A page loaded ahead whose render process went down with another page's is loaded afresh at its turn.
    void pageLostAhead_isLoadedAfreshInItsTurn()
    {
        Run r({ "A", "B" }, 2);
        r.source.onPrint = [&](const QString& shown) {
            if (shown == QLatin1String("A"))
                r.source.lostPages.insert(1);
        };
        QVERIFY(r.run());
        QCOMPARE(r.source.loads, (QStringList { "A", "B", "B" }));
        QCOMPARE(r.source.printed, (QStringList { "A", "B" }));
        QCOMPARE(r.summary.errorLines, qint64(0));
    }

    // The bound on a load counts from when it began, ahead of its turn or not.
    void loadBound_countsFromTheLoadAhead()
    {
        Run r({ "A", "hangs" }, 2);
        r.settings.loadTimeoutMs = 300;
        r.settings.delaySeconds = [] { return qint64(0); };
        r.source.hanging = { "hangs" };
        r.source.renderMs = 400; // A prints for longer than the bound of the page loading beside it
        QElapsedTimer turn;
        qint64 waitedMs = -1;
        r.source.onNavigate = [&](const QString& address) {
            if (address == QLatin1String("hangs"))
                turn.start();
        };
        r.source.onPrint = [&](const QString& shown) {
            if (shown == QLatin1String("hangs"))
                waitedMs = turn.elapsed();
        };
        QVERIFY(r.run());
        QVERIFY2(waitedMs >= 0 && waitedMs < 150, qPrintable(QString::number(waitedMs)));
        QCOMPARE(r.source.stops, 1);
        QVERIFY(r.told.contains("log 1 Navigate Error: hangs"));
    }

    // What ends a run: it ends there, with the error, no closing of the output, and nothing after it.
    void failureThatEndsTheRun_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("printed");
        QTest::newRow("no load can start") << "load" << QStringList { "A" };
        QTest::newRow("no page can render") << "render" << QStringList { "A" };
        QTest::newRow("the destination refuses") << "deliver" << QStringList { "A", "B" };
        QTest::newRow("the list is shorter than at the start of the turn") << "list" << QStringList { "A" };
    }
    void failureThatEndsTheRun()
    {
        QFETCH(QString, where);
        QFETCH(QStringList, printed);
        for (int pages : { 1, 3 }) {
            Run r({ "A", "B", "C" }, pages);
            r.source.loadMs = 5;
            if (where == QLatin1String("load")) {
                r.source.refused = { "B" };
                r.source.loadFailure = QStringLiteral("stop here");
            } else if (where == QLatin1String("render")) {
                r.source.onNavigate = [&](const QString& address) {
                    if (address == QLatin1String("B"))
                        r.source.printFailure = QStringLiteral("stop here");
                };
            } else if (where == QLatin1String("deliver")) {
                r.output.onDeliver = [](qint64, const QString& address) {
                    if (address == QLatin1String("B"))
                        throw dv::AppError(QStringLiteral("stop here"));
                };
            } else {
                // Emptied as B's turn begins, before it prints.
                r.source.onNavigate = [&](const QString& address) {
                    if (address == QLatin1String("B"))
                        r.list.clear();
                };
            }
            QVERIFY(r.run());
            QVERIFY(r.summary.error);
            const QString message = dv::errorMessage(r.summary.error);
            QVERIFY2(message == QLatin1String("stop here") || message == QLatin1String("List index out of bounds (1)"),
                qPrintable(message));
            QCOMPARE(r.source.printed, printed);
            QCOMPARE(r.output.finished, 0);
            QVERIFY(!r.told.contains("start 2 C"));
            QVERIFY(!r.engine->running());
        }
    }

    // A page that cannot be handed over alone is one Print Error, and the run goes on.
    void pageTheOutputRefuses_isAPrintErrorAndTheRunGoesOn()
    {
        Run r({ "A", "B", "C" }, 2);
        r.output.onDeliver = [](qint64, const QString& address) {
            if (address == QLatin1String("B"))
                throw dv::PagePrintError(QStringLiteral("not this one"));
        };
        QVERIFY(r.run());
        QVERIFY(r.told.contains("log 1 Print Error: B"));
        QVERIFY(r.told.contains("done 1 print error"));
        QCOMPARE(r.delivered(), (QStringList { "1 A", "3 C" }));
        QCOMPARE(r.output.finished, 1);
    }

    // News of pages that are not (or no longer) the entry's own changes nothing.
    void strayNewsFromThePageSource_changesNothing()
    {
        Run r({ "A", "B", "C" }, 2);
        r.source.loadMs = 10;
        r.source.onPrint = [&](const QString&) {
            for (int page = -1; page <= 3; ++page) {
                emit r.source.loaded(page);
                emit r.source.rendered(page, dv::RenderedPage {});
                emit r.source.renderFailed(page, QStringLiteral("stray"), false);
            }
        };
        QVERIFY(r.run());
        QCOMPARE(r.delivered(), (QStringList { "1 A", "2 B", "3 C" }));
        QCOMPARE(r.summary.errorLines, qint64(0));
    }

    // A long list holds no more pages than it loads at once.
    void longList_holdsNoMorePagesThanItLoadsAtOnce()
    {
        QStringList entries;
        for (int i = 0; i < 200; ++i)
            entries << QStringLiteral("page-%1").arg(i);
        Run r(entries, 4);
        QVERIFY(r.run(60000));
        QCOMPARE(r.source.printed, entries);
        QCOMPARE(r.source.mostHeld, 4);
        QCOMPARE(int(r.output.delivered.size()), 200);
    }

    // start() returns before anything is told, and an empty list ends at once.
    void start_tellsNothingBeforeItReturns()
    {
        Run r({}, 2);
        r.start();
        QVERIFY(!r.ended);
        QVERIFY(QTest::qWaitFor([&] { return r.ended; }, 5000));
        QVERIFY(r.told.isEmpty());
        QCOMPARE(r.output.opened, QList<qint64> { 0 });
        QCOMPARE(r.output.finished, 1);
    }
};

QTEST_MAIN(TestRunEngine)
#include "tst_runengine.moc"
