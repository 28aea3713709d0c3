// Putting the engine's pages on sheets: the content lands in the content box at
// its scale, untouched and still visible; the header and footer are real text in
// the margins on every sheet, long texts shortened in the middle. Checked through
// poppler's pdftotext and pdffonts and pictures drawn by Qt PDF.
#include "errors.h"
#include "pdfmerge.h"
#include "pdfstamp.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr double Square = 36; // points: the mark in two corners of each engine page

// A stand-in for the engine's PDF: each page laid out as layout, a black square
// in its top left and bottom right corners and the text CONTENT-n.
QByteArray enginePdf(const QPageLayout& layout, int pages)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageLayout(layout);
    QPainter painter(&writer);
    const QRectF page = layout.fullRect(QPageLayout::Point);
    for (int n = 1; n <= pages; ++n) {
        if (n > 1)
            writer.newPage();
        painter.fillRect(QRectF(0, 0, Square, Square), Qt::black);
        painter.fillRect(QRectF(page.width() - Square, page.height() - Square, Square, Square), Qt::black);
        painter.drawText(QPointF(Square * 2, Square), QStringLiteral("CONTENT-%1").arg(n));
    }
    return pdf;
}

struct Run {
    QString out;
    int code = -1;
};

Run run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return {QString::fromUtf8(p.readAllStandardOutput()), p.exitCode()};
}

QString saved(QTemporaryDir& dir, const QByteArray& pdf)
{
    static int n = 0;
    const QString path = dir.filePath(QStringLiteral("sheet%1.pdf").arg(++n));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(pdf);
    return path;
}

QString pageText(const QString& path, int page)
{
    return run(QStringLiteral("pdftotext"),
        {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page), path,
            QStringLiteral("-")})
        .out;
}

struct Word {
    QRectF box;
    QString text;
};

// Every word on the first page with its box, in points from the top left corner.
QList<Word> words(const QString& path)
{
    const QString html = run(QStringLiteral("pdftotext"),
        {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), path, QStringLiteral("-")})
                             .out;
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Word> found;
    for (const QRegularExpressionMatch& m : word.globalMatch(html)) {
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        found << Word {QRectF(topLeft, bottomRight), m.captured(5)};
    }
    return found;
}

QImage picture(const QByteArray& pdf, int page)
{
    QByteArray data = pdf;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (document.status() != QPdfDocument::Status::Ready)
        return {};
    // Rendered pages are transparent where nothing is drawn: show them on white paper.
    const QImage drawn = document.render(page, document.pagePointSize(page).toSize());
    QImage paper(drawn.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, drawn);
    return paper;
}

bool dark(const QImage& image, QPointF at)
{
    return qGray(image.pixel(at.toPoint())) < 64;
}

const dv::HeaderFooterTexts texts {
    QStringLiteral("Office profile, waffle report"), QStringLiteral("file:///srv/pages/flat.html"), QStringLiteral("06/05/2026")};

QPageLayout a4(QPageLayout::Orientation orientation, const QMarginsF& mm)
{
    return QPageLayout(QPageSize(QPageSize::A4), orientation, mm * (72 / 25.4), QPageLayout::Point);
}

} // namespace

class TestPdfStamp : public QObject {
    Q_OBJECT

private slots:
    void placeOnSheets_headerAndFooterOnEverySheet_asText()
    {
        QTemporaryDir dir;
        const QPageLayout sheet = a4(QPageLayout::Portrait, QMarginsF(20, 20, 20, 20));
        const QByteArray pdf = dv::placeOnSheets(enginePdf(dv::engineLayout(sheet, 1), 3), sheet, 1, texts);
        const QString path = saved(dir, pdf);
        QCOMPARE(dv::pdfPageCount(pdf), 3);
        for (int page = 1; page <= 3; ++page) {
            const QString text = pageText(path, page);
            for (const QString& expected : {texts.title, QStringLiteral("Page %1 of 3").arg(page), texts.address,
                     texts.date, QStringLiteral("CONTENT-%1").arg(page)})
                QVERIFY2(text.contains(expected), qPrintable(QStringLiteral("page %1: %2").arg(page).arg(text)));
        }
        // Embedded fonts: the header and the content are text, not pictures of it.
        const Run fonts = run(QStringLiteral("pdffonts"), {path});
        QCOMPARE(fonts.code, 0);
        QVERIFY2(fonts.out.split(QLatin1Char('\n')).filter(QStringLiteral(" yes ")).size() >= 1, qPrintable(fonts.out));
    }

    void placeOnSheets_withoutTexts_addsNoText()
    {
        QTemporaryDir dir;
        const QPageLayout sheet = a4(QPageLayout::Portrait, QMarginsF(10, 10, 10, 10));
        const QByteArray pdf = dv::placeOnSheets(enginePdf(dv::engineLayout(sheet, 1), 2), sheet, 1, std::nullopt);
        const QString path = saved(dir, pdf);
        QCOMPARE(pageText(path, 1).simplified(), QStringLiteral("CONTENT-1"));
        QCOMPARE(pageText(path, 2).simplified(), QStringLiteral("CONTENT-2"));
    }

    void placeOnSheets_contentFillsTheContentBoxAtItsScale_data()
    {
        QTest::addColumn<QPageLayout>("sheet");
        QTest::addColumn<double>("scale");
        QTest::newRow("portrait, even margins") << a4(QPageLayout::Portrait, QMarginsF(20, 20, 20, 20)) << 1.0;
        QTest::newRow("landscape, uneven margins") << a4(QPageLayout::Landscape, QMarginsF(40, 12, 8, 25)) << 1.0;
        QTest::newRow("half size") << a4(QPageLayout::Portrait, QMarginsF(15, 15, 15, 15)) << 0.5;
        QTest::newRow("double size") << a4(QPageLayout::Portrait, QMarginsF(15, 30, 15, 15)) << 2.0;
    }

    void placeOnSheets_contentFillsTheContentBoxAtItsScale()
    {
        QFETCH(QPageLayout, sheet);
        QFETCH(double, scale);
        const QByteArray pdf = dv::placeOnSheets(enginePdf(dv::engineLayout(sheet, scale), 1), sheet, scale, texts);
        const QImage image = picture(pdf, 0);
        const QRectF full = sheet.fullRect(QPageLayout::Point);
        const QRectF box = sheet.paintRect(QPageLayout::Point);
        QCOMPARE(image.size(), full.size().toSize());
        const double half = Square * scale / 2;
        // The corner marks sit in the content box's corners, drawn over by nothing.
        QVERIFY(dark(image, box.topLeft() + QPointF(half, half)));
        QVERIFY(dark(image, box.bottomRight() - QPointF(half, half)));
        // Nothing of the content spills into the margins.
        QVERIFY(!dark(image, box.topLeft() + QPointF(-3, half)));
        QVERIFY(!dark(image, box.bottomRight() + QPointF(3, -half)));
        QVERIFY(!dark(image, box.topLeft() + QPointF(half, -3)));
    }

    void headerAndFooter_stayInTheMargins_longTextsShortenedInTheMiddle_data()
    {
        QTest::addColumn<double>("marginMm");
        QTest::newRow("wide margins") << 25.0;
        QTest::newRow("margins no wider than the band") << dv::HeaderFooterBandPt * 25.4 / 72;
    }

    void headerAndFooter_stayInTheMargins_longTextsShortenedInTheMiddle()
    {
        QFETCH(double, marginMm);
        QTemporaryDir dir;
        const QPageLayout sheet = a4(QPageLayout::Portrait, QMarginsF(marginMm, marginMm, marginMm, marginMm));
        const dv::HeaderFooterTexts longTexts {
            QStringLiteral("TITLESTART") + QString(400, QLatin1Char('t')) + QStringLiteral("TITLEEND"),
            QStringLiteral("https://example.org/ADDRSTART/") + QString(400, QLatin1Char('a'))
                + QStringLiteral("/ADDREND\n.html"),
            texts.date};
        const QString path
            = saved(dir, dv::placeOnSheets(enginePdf(dv::engineLayout(sheet, 1), 1), sheet, 1, longTexts));
        const QRectF box = sheet.paintRect(QPageLayout::Point);
        QString all;
        for (const Word& w : words(path)) {
            all += w.text + QLatin1Char(' ');
            if (w.text.startsWith(QLatin1String("CONTENT")))
                continue;
            const bool header = w.box.bottom() <= box.top() + 0.5;
            const bool footer = w.box.top() >= box.bottom() - 0.5;
            QVERIFY2(header || footer, qPrintable(w.text + QStringLiteral(" lies over the content")));
            QVERIFY2(w.box.left() >= box.left() - 0.5 && w.box.right() <= box.right() + 0.5,
                qPrintable(w.text + QStringLiteral(" runs beyond the content's width")));
        }
        for (const QString& kept :
            {QStringLiteral("TITLESTART"), QStringLiteral("TITLEEND"), QStringLiteral("ADDRSTART"),
                QStringLiteral("ADDREND .html"), QStringLiteral("Page 1 of 1"), texts.date, QStringLiteral("\u2026")})
            QVERIFY2(all.contains(kept), qPrintable(kept + QStringLiteral(" missing from: ") + all));
        QVERIFY(all.size() < 400);
    }

    // With no font on the system for some of its characters, the header still
    // reads back as the title and the address, where they are drawn.
    void titleAndAddress_keepTheirCharacters_evenWithoutAGlyph_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("address");
        QTest::newRow("Japanese") << QStringLiteral("\u7b2c 2 \u7ae0 \u30b1\u30fc\u30b9\u30b9\u30bf\u30c7\u30a3\u306e\u63d0\u793a")
                                  << QStringLiteral("file:///srv/handbook/ja-JP/\u30b1\u30fc\u30b9.html");
        QTest::newRow("hieroglyphs among Latin") << QStringLiteral("Signs \U00013000\U00013001 of old")
                                                 << QStringLiteral("https://example.org/\U00013000/page.html");
        QTest::newRow("Latin") << texts.title << texts.address;
    }

    void titleAndAddress_keepTheirCharacters_evenWithoutAGlyph()
    {
        QFETCH(QString, title);
        QFETCH(QString, address);
        QTemporaryDir dir;
        const QPageLayout sheet = a4(QPageLayout::Portrait, QMarginsF(20, 20, 20, 20));
        const dv::HeaderFooterTexts own {title, address, texts.date};
        const QString path = saved(dir, dv::placeOnSheets(enginePdf(dv::engineLayout(sheet, 1), 2), sheet, 1, own));
        for (int page = 1; page <= 2; ++page) {
            const QString text = pageText(path, page);
            for (const QString& expected : {title, address, QStringLiteral("Page %1 of 2").arg(page), texts.date})
                QVERIFY2(text.contains(expected), qPrintable(expected + QStringLiteral(" missing from: ") + text));
        }
        const QRectF box = sheet.paintRect(QPageLayout::Point);
        for (const Word& w : words(path)) {
            if (title.contains(w.text))
                QVERIFY2(w.box.bottom() <= box.top() + 0.5, qPrintable(w.text + QStringLiteral(" is not in the header")));
            else if (address.contains(w.text))
                QVERIFY2(w.box.top() >= box.bottom() - 0.5, qPrintable(w.text + QStringLiteral(" is not in the footer")));
        }
    }

    // A merged PDF declares the highest version of its parts, and every PDF the
    // program writes says what it is and what made it.
    void pdfsWritten_carryTheirPartsVersionAndDocumentInformation()
    {
        QTemporaryDir dir;
        const QPageLayout layout = a4(QPageLayout::Portrait, QMarginsF());
        auto part = [&layout](QPagedPaintDevice::PdfVersion version) {
            QByteArray pdf;
            QBuffer buffer(&pdf);
            buffer.open(QIODevice::WriteOnly);
            QPdfWriter writer(&buffer);
            writer.setPdfVersion(version);
            writer.setPageLayout(layout);
            QPainter painter(&writer);
            painter.drawText(QPointF(100, 100), QStringLiteral("part"));
            painter.end();
            return pdf;
        };
        dv::PdfMerger merger;
        merger.append(part(QPagedPaintDevice::PdfVersion_1_4), QStringLiteral("first"));
        merger.append(part(QPagedPaintDevice::PdfVersion_1_6), QStringLiteral("second"));
        merger.append(part(QPagedPaintDevice::PdfVersion_1_4), QStringLiteral("third"));
        const QString merged = saved(dir, merger.toPdf(QStringLiteral("Nightly \u30b1\u30fc\u30b9")));
        const QString single = saved(dir, dv::withDocumentInfo(part(QPagedPaintDevice::PdfVersion_1_4),
                                             QStringLiteral("\u0641\u0627\u0631\u0633\u06cc page")));
        struct Expected {
            QString path, title, version;
        };
        const Expected expected[] = {{merged, QStringLiteral("Nightly \u30b1\u30fc\u30b9"), QStringLiteral("1.6")},
            {single, QStringLiteral("\u0641\u0627\u0631\u0633\u06cc page"), QStringLiteral("1.4")}};
        for (const Expected& e : expected) {
            const Run info = run(QStringLiteral("pdfinfo"), {e.path});
            QCOMPARE(info.code, 0);
            auto field = [&info](const QString& name) {
                const QRegularExpression line(QStringLiteral("^%1: +(.*)$").arg(name), QRegularExpression::MultilineOption);
                return line.match(info.out).captured(1);
            };
            QCOMPARE(field(QStringLiteral("Title")), e.title);
            QCOMPARE(field(QStringLiteral("PDF version")), e.version);
            QVERIFY2(QRegularExpression(QStringLiteral("^Dorvantis \\d+\\.\\d+$")).match(field(QStringLiteral("Creator"))).hasMatch(),
                qPrintable(info.out));
            QVERIFY2(field(QStringLiteral("Producer")).contains(QStringLiteral("qpdf")), qPrintable(info.out));
        }
    }

    void placeOnSheets_unreadableInput_raisesAnError()
    {
        const QPageLayout sheet = a4(QPageLayout::Portrait, QMarginsF(10, 10, 10, 10));
        QVERIFY_THROWS_EXCEPTION(dv::AppError, dv::placeOnSheets("not a PDF", sheet, 1, texts));
    }
};

QTEST_MAIN(TestPdfStamp)
#include "tst_pdfstamp.moc"
