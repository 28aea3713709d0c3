#include "rain.h"

#include <QFontMetrics>
#include <QPainter>

namespace dv::about {

QColor RainColor(int level)
{
    return QColor(level * 150 / 255, level, level * 100 / 255);
}

Rain::Rain() : Rain(std::random_device{}()) {}

Rain::Rain(unsigned seed) : random_(seed)
{
    // Unsmoothed glyphs keep every lit pixel in the drop's exact colour.
    font_.setStyleHint(QFont::TypeWriter, QFont::NoAntialias);
    font_.setFamily(QStringLiteral("DejaVu Sans Mono"));
    // The font's cell (ascent + descent) must fit the 12 pixel row.
    for (int px = charHeight; px > 4; --px) {
        font_.setPixelSize(px);
        if (QFontMetrics(font_).height() <= charHeight)
            break;
    }
    ascent_ = QFontMetrics(font_).ascent();
}

int Rain::randomInt(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random_);
}

void Rain::RainStart(QSize outerSize, QSize surfaceSize)
{
    RainTick = 0;
    bitmapWidth = outerSize.width();
    bitmapHeight = outerSize.height();
    RainReset(surfaceSize);
}

void Rain::RainReset(QSize surfaceSize)
{
    outCanvas = QImage(surfaceSize.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    outCanvas.fill(Qt::black);
    charWidth = 8;
    charHeight = 12;
    matrixWidth = bitmapWidth / charWidth;
    matrixHeight = bitmapHeight / charHeight;
    RainCreateDrops();
}

void Rain::RainCreateDrops()
{
    DropCount = 0;
    for (int i = 0; i < 2 * matrixWidth; ++i)
        RainAddDrop();
}

void Rain::RainAddDrop()
{
    if (DropCount >= MaxDrops || matrixWidth <= 0)
        return;
    RainDrop& drop = Drops[static_cast<size_t>(DropCount)];
    drop.Col = DropCount % matrixWidth;
    drop.Row = matrixHeight > 0 ? randomInt(0, matrixHeight - 1) : 0;
    drop.Speed = randomInt(1, 3);
    drop.Brightness = randomInt(0, 99);
    ++DropCount;
}

void Rain::RainStep()
{
    if (outCanvas.isNull())
        return;
    QPainter painter(&outCanvas);
    for (int i = 0; i < DropCount; ++i) {
        RainDrop& drop = Drops[static_cast<size_t>(i)];
        const QChar ch
            = RainAlphabet.isEmpty() ? QChar(u' ') : RainAlphabet.at(randomInt(0, int(RainAlphabet.size()) - 1));
        drawChar(painter, ch, drop);
        if (RainTick % drop.Speed == 0) {
            ++drop.Row;
            if (drop.Row > matrixHeight + 1) {
                drop.Row = 0;
                drop.Speed = randomInt(1, 3);
                drop.Brightness = randomInt(0, 99);
            }
        }
    }
    ++RainTick;
}

RainCellPlan Rain::PlanCell(const RainDrop& drop, int matrixHeight)
{
    constexpr int w = 8;
    constexpr int h = 12;
    RainCellPlan plan;
    int eraseRow = drop.Row - TrailRows;
    // A grid of one row or less cannot wrap upwards; erase the top row then.
    const int wrap = matrixHeight + 1;
    if (wrap > 0) {
        while (eraseRow < 0)
            eraseRow += wrap;
    } else {
        eraseRow = 0;
    }
    plan.erase = QRect(drop.Col * w, eraseRow * h, w, h);
    const int head = drop.Brightness * 255 / 100;
    const int trail = head / 3;
    if (drop.Row > 0) {
        plan.trailAt = QPoint(drop.Col * w, (drop.Row - 1) * h);
        plan.trailColor = RainColor(trail);
    }
    plan.headAt = QPoint(drop.Col * w, drop.Row * h);
    plan.headColor = RainColor(head);
    return plan;
}

void Rain::RainDrawChar(QChar ch, const RainDrop& drop)
{
    if (outCanvas.isNull())
        return;
    QPainter painter(&outCanvas);
    drawChar(painter, ch, drop);
}

void Rain::drawChar(QPainter& painter, QChar ch, const RainDrop& drop)
{
    const RainCellPlan plan = PlanCell(drop, matrixHeight);
    painter.fillRect(plan.erase, Qt::black);
    if (plan.trailAt)
        drawGlyph(painter, ch, *plan.trailAt, plan.trailColor);
    drawGlyph(painter, ch, plan.headAt, plan.headColor);
}

void Rain::drawGlyph(QPainter& painter, QChar ch, QPoint topLeft, const QColor& color)
{
    // Each letter in each level is rendered once, on its opaque black cell; a tick
    // then only copies small images.
    const quint64 key = (quint64(ch.unicode()) << 32) | color.rgb();
    auto cached = glyphs_.constFind(key);
    if (cached == glyphs_.constEnd()) {
        QImage cell(charWidth, charHeight, QImage::Format_RGB32);
        cell.fill(Qt::black);
        QPainter glyph(&cell);
        glyph.setFont(font_);
        glyph.setPen(color);
        glyph.drawText(0, ascent_, QString(ch));
        glyph.end();
        cached = glyphs_.insert(key, cell);
    }
    painter.drawImage(topLeft, *cached);
}

void Rain::FillBlack()
{
    outCanvas.fill(Qt::black);
}

} // namespace dv::about
