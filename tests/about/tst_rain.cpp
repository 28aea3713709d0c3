#include "rain.h"

#include <QSet>
#include <QtTest>

using dv::about::Rain;
using dv::about::RainCellPlan;
using dv::about::RainDrop;

namespace {

// The distinct colours inside one cell of the surface.
QSet<QRgb> coloursIn(const QImage& image, const QRect& cell)
{
    QSet<QRgb> colours;
    const QRect inside = cell.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            colours.insert(image.pixel(x, y) | 0xff000000u);
    return colours;
}

QRect cellAt(int col, int row)
{
    return QRect(col * 8, row * 12, 8, 12);
}

// A rain on a grid of cols x rows cells, with the surface exactly that big.
void startGrid(Rain& rain, int cols, int rows)
{
    const QSize size(cols * 8, rows * 12);
    rain.RainStart(size, size);
}

} // namespace

class TestRain : public QObject {
    Q_OBJECT

private slots:
    void drawChar_colouredByBrightness_data();
    void drawChar_colouredByBrightness();
    void planCell_erases40RowsAboveWithWrap_data();
    void planCell_erases40RowsAboveWithWrap();
    void drawChar_erasesTheFarCellOnTheSurface();
    void step_dropPastBottomRestartsAtTopWithNewLook();
    void step_dropMovesOnlyEverySpeedTicks();
    void start_givesEveryColumnTwoDropsInColumnOrder();
    void start_widerThan2500Columns_holds5000Drops();
    void reset_clearsAndKeepsTheFirstGridAndTick();
    void start_tinyBox_makesNoDropsAndDrawsNothing();
};

void TestRain::drawChar_colouredByBrightness_data()
{
    QTest::addColumn<int>("brightness");
    QTest::addColumn<QColor>("head");
    QTest::addColumn<QColor>("trail");
    QTest::newRow("brightest") << 99 << QColor(148, 252, 98) << QColor(49, 84, 32);
    QTest::newRow("half") << 50 << QColor(74, 127, 49) << QColor(24, 42, 16);
    QTest::newRow("dark") << 0 << QColor(Qt::black) << QColor(Qt::black);
}

void TestRain::drawChar_colouredByBrightness()
{
    QFETCH(int, brightness);
    QFETCH(QColor, head);
    QFETCH(QColor, trail);

    Rain rain(1);
    startGrid(rain, 10, 20);
    const RainDrop drop{3, 5, 1, brightness};
    rain.RainDrawChar(QChar(u'k'), drop);

    const QImage& surface = rain.surface();
    const QSet<QRgb> headCell = coloursIn(surface, cellAt(3, 5));
    const QSet<QRgb> trailCell = coloursIn(surface, cellAt(3, 4));
    // Every lit pixel takes exactly the level's colour, on black.
    QCOMPARE(headCell, QSet<QRgb>({qRgb(0, 0, 0), head.rgb()}));
    QCOMPARE(trailCell, QSet<QRgb>({qRgb(0, 0, 0), trail.rgb()}));
    // Nothing spills into the neighbouring columns.
    QCOMPARE(coloursIn(surface, cellAt(2, 5)), QSet<QRgb>({qRgb(0, 0, 0)}));
    QCOMPARE(coloursIn(surface, cellAt(4, 4)), QSet<QRgb>({qRgb(0, 0, 0)}));
}

void TestRain::planCell_erases40RowsAboveWithWrap_data()
{
    QTest::addColumn<int>("matrixHeight");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("erasedRow");
    QTest::addColumn<bool>("hasTrail");
    // 33 rows including the one below the edge: 7 above, or 26 below near the top.
    QTest::newRow("33 rows, head low") << 32 << 20 << 13 << true;
    QTest::newRow("33 rows, head at row 7") << 32 << 7 << 0 << true;
    QTest::newRow("33 rows, head at row 6") << 32 << 6 << 32 << true;
    QTest::newRow("33 rows, head at row 3") << 32 << 3 << 29 << true;
    QTest::newRow("41 rows, head at 41") << 40 << 41 << 1 << true;
    QTest::newRow("41 rows, head at 5") << 40 << 5 << 6 << true;
    QTest::newRow("row 0 has no trail") << 40 << 0 << 1 << false;
    QTest::newRow("short grid wraps twice") << 9 << 2 << 2 << true;
    QTest::newRow("exactly 40 rows up") << 60 << 45 << 5 << true;
}

void TestRain::planCell_erases40RowsAboveWithWrap()
{
    QFETCH(int, matrixHeight);
    QFETCH(int, row);
    QFETCH(int, erasedRow);
    QFETCH(bool, hasTrail);

    const RainDrop drop{4, row, 1, 99};
    const RainCellPlan plan = Rain::PlanCell(drop, matrixHeight);
    QCOMPARE(plan.erase, cellAt(4, erasedRow));
    QCOMPARE(plan.headAt, QPoint(32, row * 12));
    QCOMPARE(plan.trailAt.has_value(), hasTrail);
    if (hasTrail)
        QCOMPARE(*plan.trailAt, QPoint(32, (row - 1) * 12));
}

void TestRain::drawChar_erasesTheFarCellOnTheSurface()
{
    Rain rain(1);
    startGrid(rain, 4, 32); // matrixHeight 32: 33 rows wrap
    QImage& surface = const_cast<QImage&>(rain.surface());
    surface.fill(Qt::white);

    rain.RainDrawChar(QChar(u'e'), RainDrop{1, 3, 1, 99});

    QCOMPARE(coloursIn(surface, cellAt(1, 29)), QSet<QRgb>({qRgb(0, 0, 0)}));
    // The cells beside it keep their pixels.
    QCOMPARE(coloursIn(surface, cellAt(1, 28)), QSet<QRgb>({qRgb(255, 255, 255)}));
    QCOMPARE(coloursIn(surface, cellAt(0, 29)), QSet<QRgb>({qRgb(255, 255, 255)}));
}

void TestRain::step_dropPastBottomRestartsAtTopWithNewLook()
{
    Rain rain(7);
    startGrid(rain, 2, 10); // matrixHeight 10
    QCOMPARE(rain.DropCount, 4);
    rain.Drops[0] = RainDrop{0, 11, 1, 99}; // last row below the edge
    rain.Drops[1] = RainDrop{1, 10, 1, 99}; // one above it
    rain.Drops[2] = RainDrop{0, 3, 1, 50};
    rain.DropCount = 3;

    rain.RainStep();

    QCOMPARE(rain.Drops[0].Row, 0);
    QVERIFY(rain.Drops[0].Speed >= 1 && rain.Drops[0].Speed <= 3);
    QVERIFY(rain.Drops[0].Brightness >= 0 && rain.Drops[0].Brightness <= 99);
    QCOMPARE(rain.Drops[1].Row, 11);
    QCOMPARE(rain.Drops[2].Row, 4);
    QCOMPARE(rain.RainTick, 1);

    // New speed and brightness are drawn at random, not kept.
    QSet<int> brightnesses;
    for (int i = 0; i < 40; ++i) {
        rain.Drops[0] = RainDrop{0, 11, 1, 99};
        rain.RainTick = 0;
        rain.RainStep();
        brightnesses.insert(rain.Drops[0].Brightness);
    }
    QVERIFY(brightnesses.size() > 5);
}

void TestRain::step_dropMovesOnlyEverySpeedTicks()
{
    Rain rain(3);
    startGrid(rain, 3, 40);
    rain.Drops[0] = RainDrop{0, 5, 1, 10};
    rain.Drops[1] = RainDrop{1, 5, 2, 10};
    rain.Drops[2] = RainDrop{2, 5, 3, 10};
    rain.DropCount = 3;
    rain.RainTick = 1;

    QList<QList<int>> rows;
    for (int i = 0; i < 6; ++i) { // ticks 1 .. 6
        rain.RainStep();
        rows << QList<int>{rain.Drops[0].Row, rain.Drops[1].Row, rain.Drops[2].Row};
    }
    QCOMPARE(rows.last(), QList<int>({11, 8, 7}));
    QCOMPARE(rows.first(), QList<int>({6, 5, 5}));
}

void TestRain::start_givesEveryColumnTwoDropsInColumnOrder()
{
    Rain rain(11);
    rain.RainStart(QSize(452, 399), QSize(446, 374));
    QCOMPARE(rain.matrixWidth, 56);
    QCOMPARE(rain.matrixHeight, 33);
    QCOMPARE(rain.DropCount, 112);
    for (int i = 0; i < rain.DropCount; ++i) {
        const RainDrop& d = rain.Drops[size_t(i)];
        QCOMPARE(d.Col, i % 56);
        QVERIFY(d.Row >= 0 && d.Row < 33);
        QVERIFY(d.Speed >= 1 && d.Speed <= 3);
        QVERIFY(d.Brightness >= 0 && d.Brightness <= 99);
    }
    QCOMPARE(rain.RainTick, 0);
    QCOMPARE(rain.surface().size(), QSize(446, 374));
}

void TestRain::start_widerThan2500Columns_holds5000Drops()
{
    Rain rain(5);
    rain.RainStart(QSize(2600 * 8, 120), QSize(64, 64));
    QCOMPARE(rain.matrixWidth, 2600);
    QCOMPARE(rain.DropCount, Rain::MaxDrops);
    rain.RainAddDrop();
    QCOMPARE(rain.DropCount, Rain::MaxDrops);
    // Columns run out after 2500: each drop still has its column in order.
    QCOMPARE(rain.Drops[4999].Col, 4999 % 2600);
    rain.RainStep(); // drawing far outside the small surface is harmless
    QCOMPARE(rain.RainTick, 1);
}

void TestRain::reset_clearsAndKeepsTheFirstGridAndTick()
{
    Rain rain(9);
    startGrid(rain, 20, 10);
    for (int i = 0; i < 5; ++i)
        rain.RainStep();
    rain.RainReset(QSize(400, 300));

    QCOMPARE(rain.matrixWidth, 20);
    QCOMPARE(rain.matrixHeight, 10);
    QCOMPARE(rain.DropCount, 40);
    QCOMPARE(rain.RainTick, 5);
    QCOMPARE(rain.surface().size(), QSize(400, 300));
    QCOMPARE(coloursIn(rain.surface(), rain.surface().rect()), QSet<QRgb>({qRgb(0, 0, 0)}));
}

void TestRain::start_tinyBox_makesNoDropsAndDrawsNothing()
{
    Rain rain(2);
    rain.RainStart(QSize(7, 11), QSize(7, 11));
    QCOMPARE(rain.matrixWidth, 0);
    QCOMPARE(rain.matrixHeight, 0);
    QCOMPARE(rain.DropCount, 0);
    rain.RainAddDrop();
    QCOMPARE(rain.DropCount, 0);
    rain.RainStep();
    QCOMPARE(coloursIn(rain.surface(), rain.surface().rect()), QSet<QRgb>({qRgb(0, 0, 0)}));
    // A grid one row high still finds a row to erase.
    QCOMPARE(Rain::PlanCell(RainDrop{0, 1, 1, 1}, 0).erase, cellAt(0, 0));
}

QTEST_MAIN(TestRain)
#include "tst_rain.moc"
