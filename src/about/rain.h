#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <optional>
#include <random>

class QPainter;

namespace dv::about {

/// One falling column head of the about box's rain.
struct RainDrop {
    int Col = 0; ///< 0 .. matrixWidth - 1
    int Row = 0; ///< row of the head, 0 .. matrixHeight + 1
    int Speed = 1; ///< the head moves one row every Speed ticks (1 .. 3)
    int Brightness = 0; ///< 0 .. 99
};

/// The colour of a rain level v (0 .. 255): a green with a little red and blue.
QColor RainColor(int level);

/// What RainDrawChar does to the surface for one drop, in surface pixels.
struct RainCellPlan {
    QRect erase; ///< the cell 40 rows above the head (wrapped), filled black
    std::optional<QPoint> trailAt; ///< top-left of the dimmed cell above the head; none at row 0
    QColor trailColor;
    QPoint headAt; ///< top-left of the head cell
    QColor headColor;
};

/// The letter rain around the about box: a table of drops falling down a grid of
/// 8 x 12 pixel cells, drawn into a surface that keeps its pixels between ticks.
/// The grid is fixed by the size given to RainStart; later resizes only clear.
class Rain {
public:
    static constexpr int MaxDrops = 5000;
    static constexpr int TrailRows = 40;

    /// Seeded from the system's entropy source; tests may pass a fixed seed.
    Rain();
    explicit Rain(unsigned seed);

    /// Starts over: RainTick 0, the grid from outerSize (device pixels), a black
    /// surface of surfaceSize and a fresh set of drops.
    void RainStart(QSize outerSize, QSize surfaceSize);
    /// Clears a surface of the given size to black and re-creates every drop at a
    /// random row, keeping the grid of RainStart.
    void RainReset(QSize surfaceSize);
    /// Adds one drop in the next column (nothing once MaxDrops are in use).
    void RainAddDrop();
    /// One animation tick: every drop draws a random letter and may move down.
    void RainStep();
    /// Draws ch for drop: erases the cell far above, dims the cell above, draws the head.
    void RainDrawChar(QChar ch, const RainDrop& drop);
    /// Blanks the whole surface (the box's paint handler does this).
    void FillBlack();

    /// The cells RainDrawChar touches for drop, in a grid matrixHeight rows high.
    static RainCellPlan PlanCell(const RainDrop& drop, int matrixHeight);

    const QImage& surface() const { return outCanvas; }
    int randomInt(int low, int high); // inclusive

    // The rain's state, open to the box's tests and the benchmark.
    QString RainAlphabet = QStringLiteral("kel");
    std::array<RainDrop, MaxDrops> Drops{};
    int DropCount = 0;
    int RainTick = 0;
    int charWidth = 8;
    int charHeight = 12;
    int bitmapWidth = 0;
    int bitmapHeight = 0;
    int matrixWidth = 0;
    int matrixHeight = 0;

private:
    void RainCreateDrops();
    void drawChar(QPainter& painter, QChar ch, const RainDrop& drop);
    void drawGlyph(QPainter& painter, QChar ch, QPoint topLeft, const QColor& color);

    QImage outCanvas;
    QHash<quint64, QImage> glyphs_;
    QFont font_;
    int ascent_ = 0;
    std::mt19937 random_;
};

} // namespace dv::about
