// The print run's small rules, without windows: the delay field's text, the legs
// of a long wait, job names CUPS accepts, how much of a long entry lines show, and
// how long a page's print may take.
#include "cupsjob.h"
#include "destination.h"
#include "registry.h"
#include "printrun.h"
#include "renderbound.h"

#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class TestPrintLogic : public QObject {
    Q_OBJECT

private slots:
    void delaySecondsFromText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("whole number") << QStringLiteral("2") << qint64(2);
        QTest::newRow("spaces around") << QStringLiteral(" 7 ") << qint64(7);
        QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
        QTest::newRow("negative counts as none") << QStringLiteral("-5") << qint64(0);
        QTest::newRow("words count as none") << QStringLiteral("two") << qint64(0);
        QTest::newRow("fraction counts as none") << QStringLiteral("1.5") << qint64(0);
        QTest::newRow("empty") << QString() << qint64(0);
        QTest::newRow("largest") << QStringLiteral("999999999") << qint64(999999999);
        QTest::newRow("above the field's range is capped") << QStringLiteral("99999999999") << qint64(999999999);
        QTest::newRow("beyond 64 bits is not a number") << QStringLiteral("99999999999999999999999") << qint64(0);
    }
    void delaySecondsFromText()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(dv::delaySecondsFromText(text), seconds);
    }

    void nextTimerLegMs_data()
    {
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<int>("leg");
        constexpr int maxInt = std::numeric_limits<int>::max();
        QTest::newRow("short") << qint64(2000) << 2000;
        QTest::newRow("nothing left") << qint64(0) << 0;
        QTest::newRow("overdue") << qint64(-40) << 0;
        QTest::newRow("exactly the largest interval") << qint64(maxInt) << maxInt;
        QTest::newRow("the largest delay does not wrap") << qint64(999999999) * 1000 << maxInt;
        QTest::newRow("just past 32 bits") << (qint64(1) << 32) + 5 << maxInt;
    }
    void nextTimerLegMs()
    {
        QFETCH(qint64, remaining);
        QFETCH(int, leg);
        QCOMPARE(dv::nextTimerLegMs(remaining), leg);
    }

    void cupsJobName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("short address unchanged")
            << QStringLiteral("http://127.0.0.1/a b?x=é") << QStringLiteral("http://127.0.0.1/a b?x=é").toUtf8();
        QTest::newRow("control characters become spaces") << QStringLiteral("a\tb\001c\177") << QByteArray("a b c ");
        QTest::newRow("255 bytes kept") << QString(255, QLatin1Char('a')) << QByteArray(255, 'a');
        QTest::newRow("long address cut") << QString(300, QLatin1Char('a')) << QByteArray(255, 'a');
        // 254 ASCII bytes then a two-byte letter: the letter would straddle the limit.
        QTest::newRow("no character split")
            << QString(254, QLatin1Char('a')) + QStringLiteral("éé") << QByteArray(254, 'a');
        QTest::newRow("four-byte characters")
            << QStringLiteral("\U0001F600").repeated(70) << QStringLiteral("\U0001F600").repeated(63).toUtf8();
    }
    void cupsJobName()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, name);
        QCOMPARE(dv::cupsJobName(address), name);
    }

    void shownEntryLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        const QString a2000(2000, QLatin1Char('a'));
        QTest::newRow("short line as it is")
            << QStringLiteral("Navigate Error: x") << QStringLiteral("Navigate Error: x");
        QTest::newRow("2000 characters kept whole")
            << QStringLiteral("Printing: ") + a2000 << QStringLiteral("Printing: ") + a2000;
        QTest::newRow("longer: the label and 2000 of the entry") << QStringLiteral("Print Error: ") + a2000
                + QStringLiteral("bbb") << QStringLiteral("Print Error: ") + a2000 + QChar(0x2026);
        QTest::newRow("no half character at the cut")
            << QStringLiteral("Navigating: ") + QString(1999, QLatin1Char('a')) + QStringLiteral("\U0001F600z")
            << QStringLiteral("Navigating: ") + QString(1999, QLatin1Char('a')) + QChar(0x2026);
    }
    void shownEntryLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QCOMPARE(dv::shownEntryLine(line), shown);
    }

    // A page shown as heightPx by widthPx CSS pixels, printed on A4 sheets of 794 by 1123.
    void renderBoundMs_growsWithThePageUpToItsCap_data()
    {
        QTest::addColumn<double>("heightPx");
        QTest::addColumn<double>("widthPx");
        QTest::addColumn<int>("sheets");
        QTest::addColumn<int>("boundMs");
        QTest::newRow("one sheet") << 800.0 << 700.0 << 1 << 30000 + dv::RenderMsPerSheet;
        QTest::newRow("size unknown") << 0.0 << 0.0 << 1 << 30000 + dv::RenderMsPerSheet;
        QTest::newRow("not a number") << qQNaN() << 700.0 << 1 << 30000 + dv::RenderMsPerSheet;
        QTest::newRow("300 sheets") << 1123.0 * 300 << 794.0 << 300 << 30000 + 300 * dv::RenderMsPerSheet;
        // Shown twice as wide as the sheet, its text runs twice as long on paper.
        QTest::newRow("shown wide") << 1123.0 * 100 << 1588.0 << 200 << 30000 + 200 * dv::RenderMsPerSheet;
        QTest::newRow("capped") << 1123.0 * 5000 << 794.0 << 5000 << dv::MaxRenderMs;
        QTest::newRow("absurd height") << 1e300 << 794.0 << 100000 << dv::MaxRenderMs;
    }
    void renderBoundMs_growsWithThePageUpToItsCap()
    {
        QFETCH(double, heightPx);
        QFETCH(double, widthPx);
        QFETCH(int, sheets);
        QFETCH(int, boundMs);
        QCOMPARE(dv::estimatedSheets(heightPx, widthPx, QSizeF(794, 1123)), sheets);
        QCOMPARE(dv::renderBoundMs(30000, sheets), boundMs);
        // A base above the cap is never cut: the hung-renderer bound stays as set.
        QCOMPARE(dv::renderBoundMs(dv::MaxRenderMs * 2, sheets), dv::MaxRenderMs * 2);
    }

    // How many pages a run loads side by side, as the settings store says.
    void pagesAtOnce_readsTheStoreAndFallsBackToTwo_data()
    {
        QTest::addColumn<QString>("overlap"); // empty: not set
        QTest::addColumn<QString>("pages"); // "dword N", "text N", or empty: not set
        QTest::addColumn<int>("expected");
        QTest::newRow("nothing stored") << QString() << QString() << 2;
        QTest::newRow("four") << QString() << "dword 4" << 4;
        QTest::newRow("the most") << QString() << "dword 16" << 16;
        QTest::newRow("one") << QString() << "dword 1" << 1;
        QTest::newRow("zero") << QString() << "dword 0" << 2;
        QTest::newRow("too many") << QString() << "dword 17" << 2;
        QTest::newRow("text, not a number") << QString() << "text 4" << 2;
        QTest::newRow("loading ahead switched off") << "0" << "dword 8" << 1;
        QTest::newRow("loading ahead on") << "1" << "dword 8" << 8;
    }
    void pagesAtOnce_readsTheStoreAndFallsBackToTwo()
    {
        QFETCH(QString, overlap);
        QFETCH(QString, pages);
        QFETCH(int, expected);
        QTemporaryDir dir;
        dv::RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
        const QString key = QString::fromLatin1(dv::PrintingKey);
        if (!overlap.isEmpty())
            QVERIFY(store.setValue(key, QStringLiteral("Overlap"), dv::RegValue::dword(overlap.toUInt())));
        if (pages.startsWith(QLatin1String("dword ")))
            QVERIFY(store.setValue(key, QStringLiteral("PagesAtOnce"), dv::RegValue::dword(pages.mid(6).toUInt())));
        else if (pages.startsWith(QLatin1String("text ")))
            QVERIFY(store.setValue(key, QStringLiteral("PagesAtOnce"), dv::RegValue::text(pages.mid(5))));
        QCOMPARE(dv::pagesAtOnce(store), expected);
        // What the window stores, it reads back.
        if (overlap != QLatin1String("0")) {
            QVERIFY(dv::savePagesAtOnce(store, 3));
            QCOMPARE(dv::pagesAtOnce(store), 3);
        }
    }
};

QTEST_GUILESS_MAIN(TestPrintLogic)
#include "tst_printlogic.moc"
