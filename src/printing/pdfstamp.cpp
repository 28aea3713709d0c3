// qpdf: shared pointers only, no old PointerHolder.
#define POINTERHOLDER_TRANSITION 4
#include "pdfstamp.h"

#include "pagesource.h"
#include "errors.h"
#include "printinglog.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLayout>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <exception>
#include <stdexcept>
#include <string>

namespace dv {

namespace {

// The overlay is drawn at this many device units per point.
constexpr int OverlayDpi = 720;
constexpr double UnitsPerPt = OverlayDpi / 72.0;

// One line of header or footer: text at the left and at the right of the
// content's width; the left one gives way, shortened in the middle.
struct Line {
    QString left;
    QString right;
};
Line fitLine(const QPainter& painter, const QRectF& box, const QString& left, const QString& right)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const QString rightText = metrics.elidedText(right, Qt::ElideMiddle, box.width());
    const qreal rightWidth = metrics.horizontalAdvance(rightText);
    const qreal gap = rightText.isEmpty() ? 0 : metrics.horizontalAdvance(QStringLiteral("MM"));
    return {metrics.elidedText(left, Qt::ElideMiddle, std::max<qreal>(box.width() - rightWidth - gap, 0)), rightText};
}

// Whether a font on the system shows every character of text: a missing glyph
// reads back as nothing, or as another character.
bool glyphsMissing(const QString& text, const QFont& font, QPaintDevice* device)
{
    QTextLayout layout(text, font, device);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns())
        for (quint32 glyph : run.glyphIndexes())
            if (glyph == 0)
                return true;
    return false;
}

void drawInLine(QPainter& painter, const QRectF& box, const QString& text, Qt::Alignment side)
{
    if (!text.isEmpty())
        painter.drawText(box, Qt::TextSingleLine | Qt::AlignVCenter | side, text);
}

// The drawing of form in a marked-content span whose text, for search and copy,
// is text whatever glyphs it shows. The span lies within the drawing's own
// coordinates, which is where a reader places that text.
QPDFObjectHandle withActualText(QPDFObjectHandle form, const QString& text)
{
    const std::shared_ptr<Buffer> drawn = form.getStreamData(qpdf_dl_generalized);
    const std::string content = "/Span << /ActualText "
        + QPDFObjectHandle::newUnicodeString(text.toStdString()).unparse() + " >> BDC\n"
        + std::string(reinterpret_cast<const char*>(drawn->getBuffer()), drawn->getSize()) + "\nEMC\n";
    form.replaceStreamData(content, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
    return form;
}

// Page content is plain text: line breaks and other control characters in a
// title or an address become spaces.
QString oneLine(const QString& text)
{
    QString line = text;
    for (QChar& c : line)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    line = line.simplified();
    // No margin holds two thousand characters of small print: the middle of a
    // longer text goes now, not when each sheet's line is shortened to fit, which
    // costs seconds per sheet for an address of a megabyte.
    constexpr qsizetype keptAtEachEnd = 1000;
    if (line.size() > 2 * keptAtEachEnd) {
        qsizetype head = keptAtEachEnd;
        qsizetype tail = keptAtEachEnd;
        if (line.at(head - 1).isHighSurrogate())
            --head;
        if (line.at(line.size() - tail).isLowSurrogate())
            --tail;
        line = line.left(head) + QChar(0x2026) + line.right(tail);
    }
    return line;
}

QPDFObjectHandle::Rectangle transformed(const QPDFObjectHandle::Rectangle& r, double scale, double dx, double dy)
{
    return {r.llx * scale + dx, r.lly * scale + dy, r.urx * scale + dx, r.ury * scale + dy};
}

std::string number(double value)
{
    return QUtil::double_to_string(value, 4);
}

// Links keep pointing at what they cover once the content has moved.
void moveAnnotations(QPDFPageObjectHelper& page, double scale, double dx, double dy)
{
    QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
    if (!annots.isArray())
        return;
    for (QPDFObjectHandle annot : annots.aitems()) {
        if (!annot.isDictionary())
            continue;
        QPDFObjectHandle rect = annot.getKey("/Rect");
        if (rect.isRectangle())
            annot.replaceKey(
                "/Rect", QPDFObjectHandle::newFromRectangle(transformed(rect.getArrayAsRectangle(), scale, dx, dy)));
        QPDFObjectHandle quads = annot.getKey("/QuadPoints");
        if (quads.isArray()) {
            std::vector<QPDFObjectHandle> moved;
            int i = 0;
            for (QPDFObjectHandle item : quads.aitems()) {
                const double v = item.isNumber() ? item.getNumericValue() : 0;
                moved.push_back(QPDFObjectHandle::newReal(v * scale + (i++ % 2 == 0 ? dx : dy), 4));
            }
            annot.replaceKey("/QuadPoints", QPDFObjectHandle::newArray(moved));
        }
    }
}

} // namespace

QPageLayout engineLayout(const QPageLayout& sheet, double scale)
{
    QSizeF content = sheet.paintRect(QPageLayout::Point).size() / scale;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    if (content.width() > content.height()) {
        content.transpose();
        orientation = QPageLayout::Landscape;
    }
    return QPageLayout(
        QPageSize(content, QPageSize::Point, QString(), QPageSize::ExactMatch), orientation, QMarginsF());
}

HeaderFooterOverlay headerFooterPdf(const QPageLayout& sheet, int pages, const HeaderFooterTexts& texts)
{
    HeaderFooterOverlay overlay;
    QByteArray& pdf = overlay.pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(OverlayDpi);
    writer.setPageLayout(QPageLayout(sheet.pageSize(), sheet.orientation(), QMarginsF()));
    QPainter painter(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    // No ligatures: "fi" drawn as one glyph reads back as another character, and a
    // search for the title or the address would miss it.
    font.setStyleHint(QFont::SansSerif, QFont::PreferNoShaping);
    font.setPointSizeF(HeaderFooterFontPt);
    painter.setFont(font);
    painter.setPen(Qt::black);

    const QRectF full = sheet.fullRect(QPageLayout::Point);
    const QRectF content = sheet.paintRect(QPageLayout::Point);
    const qreal lineHeight = QFontMetricsF(font, &writer).height() / UnitsPerPt;
    // Each line sits in the middle of its margin, as wide as the content.
    const QRectF top(content.left(), (content.top() - lineHeight) / 2, content.width(), lineHeight);
    const qreal bottomMargin = full.bottom() - content.bottom();
    const QRectF bottom(
        content.left(), content.bottom() + (bottomMargin - lineHeight) / 2, content.width(), lineHeight);
    auto device
        = [](const QRectF& points) { return QRectF(points.topLeft() * UnitsPerPt, points.size() * UnitsPerPt); };
    const QString title = oneLine(texts.title);
    const QString address = oneLine(texts.address);
    const QString date = oneLine(texts.date);
    // Per sheet: the title's page, the address's page, then the rest.
    for (int page = 1; page <= pages; ++page) {
        if (page > 1)
            writer.newPage();
        const Line header = fitLine(painter, device(top), title, QStringLiteral("Page %1 of %2").arg(page).arg(pages));
        const Line footer = fitLine(painter, device(bottom), address, date);
        drawInLine(painter, device(top), header.left, Qt::AlignLeft);
        writer.newPage();
        drawInLine(painter, device(bottom), footer.left, Qt::AlignLeft);
        writer.newPage();
        drawInLine(painter, device(top), header.right, Qt::AlignRight);
        drawInLine(painter, device(bottom), footer.right, Qt::AlignRight);
        overlay.titles << (glyphsMissing(header.left, font, &writer) ? header.left : QString());
        overlay.addresses << (glyphsMissing(footer.left, font, &writer) ? footer.left : QString());
    }
    painter.end();
    return overlay;
}

QByteArray placeOnSheets(
    const QByteArray& enginePdf, const QPageLayout& sheet, double scale, const std::optional<HeaderFooterTexts>& texts)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processMemoryFile("page", enginePdf.constData(), size_t(enginePdf.size()));
        QPDFPageDocumentHelper document(pdf);
        document.pushInheritedAttributesToPage();
        std::vector<QPDFPageObjectHelper> pages = document.getAllPages();

        // Kept alive until the result is written: its objects are copied lazily.
        QPDF overlay;
        HeaderFooterOverlay drawn;
        std::vector<QPDFPageObjectHelper> overlayPages;
        if (texts) {
            drawn = headerFooterPdf(sheet, int(pages.size()), *texts);
            overlay.setSuppressWarnings(true);
            overlay.processMemoryFile("header and footer", drawn.pdf.constData(), size_t(drawn.pdf.size()));
            overlayPages = QPDFPageDocumentHelper(overlay).getAllPages();
            if (overlayPages.size() != 3 * pages.size())
                throw std::runtime_error("the header and footer have the wrong number of pages");
        }

        const QRectF full = sheet.fullRect(QPageLayout::Point);
        const QRectF content = sheet.paintRect(QPageLayout::Point);
        // PDF space runs upwards from the bottom left corner.
        const double contentLeft = content.left();
        const double contentTop = full.height() - content.top();
        const QPDFObjectHandle::Rectangle clip(
            content.left(), full.height() - content.bottom(), content.right(), full.height() - content.top());
        for (size_t i = 0; i < pages.size(); ++i) {
            QPDFPageObjectHelper& page = pages[i];
            const QPDFObjectHandle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
            // The engine's page goes to the top left corner of the content box.
            const double dx = contentLeft - box.llx * scale;
            const double dy = contentTop - box.ury * scale;
            std::string before = "q " + number(clip.llx) + " " + number(clip.lly) + " " + number(clip.urx - clip.llx)
                + " " + number(clip.ury - clip.lly) + " re W n " + number(scale) + " 0 0 " + number(scale) + " "
                + number(dx) + " " + number(dy) + " cm\n";
            std::string after = "\nQ\n";
            if (texts) {
                QPDFObjectHandle resources = page.getAttribute("/Resources", true);
                if (!resources.isDictionary()) {
                    resources = QPDFObjectHandle::newDictionary();
                    page.getObjectHandle().replaceKey("/Resources", resources);
                }
                if (!resources.getKey("/XObject").isDictionary())
                    resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary());
                auto place = [&](size_t overlayPage, const QString& text) {
                    int suffix = 0;
                    const std::string name = resources.getUniqueResourceName("/DvHeaderFooter", suffix);
                    QPDFObjectHandle form = overlayPages[overlayPage].getFormXObjectForPage();
                    if (!text.isEmpty())
                        form = withActualText(form, text);
                    resources.getKey("/XObject").replaceKey(name, pdf.copyForeignObject(form));
                    return "q " + name + " Do Q\n";
                };
                after += place(3 * i, drawn.titles[qsizetype(i)]);
                after += place(3 * i + 1, drawn.addresses[qsizetype(i)]);
                after += place(3 * i + 2, QString());
            }
            page.addPageContents(pdf.newStream(before), true);
            page.addPageContents(pdf.newStream(after), false);
            moveAnnotations(page, scale, dx, dy);
            QPDFObjectHandle dict = page.getObjectHandle();
            dict.replaceKey("/MediaBox",
                QPDFObjectHandle::newFromRectangle(QPDFObjectHandle::Rectangle(0, 0, full.width(), full.height())));
            for (const char* other : {"/CropBox", "/BleedBox", "/TrimBox", "/ArtBox"})
                dict.removeKey(other);
        }

        QPDFWriter writer(pdf);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char*>(out->getBuffer()), qsizetype(out->getSize()));
    } catch (const std::exception& e) {
        qCWarning(lcPrinting) << "page PDF unusable:" << e.what();
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing."));
    }
}

QByteArray makePrintout(
    const PageSetup& setup, const HeaderFooterTexts& texts, const std::function<QByteArray(const QPageLayout&)>& render)
{
    const QPageLayout sheet = sheetLayout(setup);
    const double scale = setup.scalePercent > 0 ? setup.scalePercent / 100.0 : 1.0;
    const QByteArray content = render(engineLayout(sheet, scale));
    return placeOnSheets(content, sheet, scale, setup.headerFooter ? std::optional(texts) : std::nullopt);
}

int pdfPageCount(const QByteArray& pdf)
{
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processMemoryFile("pdf", pdf.constData(), size_t(pdf.size()));
        return int(document.getAllPages().size());
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace dv
