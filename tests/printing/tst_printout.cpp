// What reaches the printer, through the real engine and the private CUPS scheduler:
// the header and footer on every sheet (and none when switched off), the page
// setup's paper, orientation, margins and backgrounds, and a preview that shows
// and prints the very PDF that Print All sends. Needs the private_cups fixture.
#include "enginefixture.h"
#include "modal.h"
#include "pagesetup.h"
#include "pdfstamp.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <functional>

using dv::test::whenModal;
using dv::test::PrivateCups;
using dv::test::token;
using Fixture = dv::test::EngineFixture;

namespace {

// A local page titled title showing marker; tall ones run over several sheets.
QString titledPage(
    Fixture& f, const QString& marker, const QString& title, bool tall = false, const QString& bodyStyle = QString())
{
    const QString path = f.dir.filePath(marker + QStringLiteral(".html"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                       "<body style=\"%2\"><h1>%3</h1>%4</body></html>")
            .arg(title, bodyStyle, marker,
                tall ? QStringLiteral("<div style=\"height: 3000px\"></div><p>end of %1</p>").arg(marker) : QString())
            .toUtf8());
    return path;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

QString today()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

void storeSetup(Fixture& f, const std::function<void(dv::PageSetup&)>& change)
{
    const dv::PageSetup defaults = dv::defaultPageSetup();
    dv::PageSetup setup = defaults;
    change(setup);
    QVERIFY(dv::savePageSetup(f.registry, setup, defaults));
}

QImage firstPage(const QByteArray& pdf, QSizeF* points = nullptr)
{
    QByteArray data = pdf;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.load(&buffer);
    if (points)
        *points = document.pagePointSize(0);
    // Rendered pages are transparent where nothing is drawn: show them on white paper.
    const QImage drawn = document.render(0, document.pagePointSize(0).toSize());
    QImage paper(drawn.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, drawn);
    return paper;
}

// The box of the first word on the first page that equals text, in points.
QRectF wordBox(const QString& pdfPath, const QString& text)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
        {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdfPath, QStringLiteral("-")});
    p.waitForFinished(30000);
    const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" "
                                                 "yMax=\"([\\d.]+)\">%1</word>")
                                      .arg(QRegularExpression::escape(text)));
    const QRegularExpressionMatch m = word.match(QString::fromUtf8(p.readAllStandardOutput()));
    if (!m.hasMatch())
        return {};
    return QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
        QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()));
}

} // namespace

class TestPrintout : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    void printAll_headerAndFooter_onEverySheetUnlessSwitchedOff_data()
    {
        QTest::addColumn<bool>("headerFooter");
        QTest::newRow("on, as by default") << true;
        QTest::newRow("switched off") << false;
    }

    void printAll_headerAndFooter_onEverySheetUnlessSwitchedOff()
    {
        QFETCH(bool, headerFooter);
        Fixture f;
        if (!headerFooter)
            storeSetup(f, [](dv::PageSetup& s) { s.headerFooter = false; });
        const QString shortMarker = token(), tallMarker = token();
        const QString shortTitle = QStringLiteral("Title of ") + shortMarker;
        const QString tallTitle = QStringLiteral("Title of ") + tallMarker;
        const QStringList entries {titledPage(f, shortMarker, shortTitle), titledPage(f, tallMarker, tallTitle, true)};
        f.setPages(entries);
        f.printAll();

        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), 2);
        const QStringList titles {shortTitle, tallTitle};
        const QStringList markers {shortMarker, tallMarker};
        for (int i = 0; i < 2; ++i) {
            const int sheets = dv::pdfPageCount(fileBytes(jobs[i].pdfPath));
            QVERIFY(sheets >= (i == 1 ? 2 : 1));
            const QString text = PrivateCups::pdfText(jobs[i].pdfPath);
            QVERIFY2(text.contains(markers[i]), qPrintable(text));
            const QStringList stamped {titles[i], QStringLiteral("Page 1 of %1").arg(sheets),
                QStringLiteral("Page %1 of %1").arg(sheets), entries[i], today()};
            for (const QString& s : stamped) {
                if (headerFooter)
                    QVERIFY2(text.contains(s), qPrintable(s + QStringLiteral(" missing from: ") + text));
                else
                    QVERIFY2(!text.contains(s), qPrintable(s + QStringLiteral(" printed: ") + text));
            }
            if (!headerFooter)
                QVERIFY(!text.contains(QStringLiteral("Page 1 of")));
            // The page's text is still text in embedded fonts, not a picture of it.
            QProcess fonts;
            fonts.start(QStringLiteral("pdffonts"), {jobs[i].pdfPath});
            QVERIFY(fonts.waitForFinished(30000));
            const QStringList rows = QString::fromUtf8(fonts.readAllStandardOutput()).split(QLatin1Char('\n'));
            QVERIFY2(rows.filter(QStringLiteral(" yes ")).size() >= 1, qPrintable(rows.join(QLatin1Char('\n'))));
        }
        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Successfully completed."));
    }

    void printAll_landscapeAndOwnMargin_reachTheJob()
    {
        Fixture f;
        dv::PageSetup chosen;
        storeSetup(f, [&chosen](dv::PageSetup& s) {
            s.orientation = QPageLayout::Landscape;
            s.marginsMm.setLeft(40);
            chosen = s;
        });
        const QString marker = token();
        const QStringList entries {titledPage(f, marker, marker)};
        f.setPages(entries);
        f.printAll();
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), 1);

        QSizeF size;
        firstPage(fileBytes(jobs[0].pdfPath), &size);
        const QSizeF expected = dv::sheetLayout(chosen).fullRect(QPageLayout::Point).size();
        QVERIFY2(size.width() > size.height(), "not landscape");
        QVERIFY(qAbs(size.width() - expected.width()) < 1 && qAbs(size.height() - expected.height()) < 1);
        // The heading starts at the margin (plus the page's own few points of body margin).
        const QRectF heading = wordBox(jobs[0].pdfPath, marker);
        const double margin = 40 * 72 / 25.4;
        QVERIFY2(heading.left() > margin - 1 && heading.left() < margin + 20,
            qPrintable(QStringLiteral("heading at %1 pt").arg(heading.left())));
    }

    void printAll_backgrounds_followThePageSetup_data()
    {
        QTest::addColumn<bool>("backgrounds");
        QTest::newRow("printed, as by default") << true;
        QTest::newRow("left out") << false;
    }

    void printAll_backgrounds_followThePageSetup()
    {
        QFETCH(bool, backgrounds);
        Fixture f;
        if (!backgrounds)
            storeSetup(f, [](dv::PageSetup& s) { s.backgrounds = false; });
        const QString marker = token();
        const QStringList entries {titledPage(f, marker, marker, false, QStringLiteral("background: #0000ff"))};
        f.setPages(entries);
        f.printAll();
        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(jobs.size(), 1);
        const QImage page = firstPage(fileBytes(jobs[0].pdfPath));
        const QColor middle = page.pixelColor(page.width() / 2, page.height() / 2);
        QCOMPARE(middle == QColor(Qt::blue), backgrounds);
        QVERIFY(backgrounds || middle == QColor(Qt::white));
    }

    void printPreview_showsTheJobsSheets_andPrintsTheSamePdf_data()
    {
        QTest::addColumn<bool>("landscape");
        QTest::newRow("portrait") << false;
        QTest::newRow("landscape") << true;
    }

    void printPreview_showsTheJobsSheets_andPrintsTheSamePdf()
    {
        QFETCH(bool, landscape);
        Fixture f;
        if (landscape)
            storeSetup(f, [](dv::PageSetup& s) { s.orientation = QPageLayout::Landscape; });
        const QString marker = token();
        const QString entry = titledPage(f, marker, QStringLiteral("Preview of ") + marker, true);
        f.setPages({entry});
        f.printAll();
        QList<PrivateCups::Job> jobs = f.jobsFor({entry});
        QCOMPARE(jobs.size(), 1);
        const int sheets = dv::pdfPageCount(fileBytes(jobs[0].pdfPath));
        QVERIFY(sheets >= 2);

        int shown = -1;
        QPageLayout::Orientation shownOrientation = QPageLayout::Portrait;
        bool printed = false;
        whenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* dialog) {
            shown = dialog->findChild<QPrintPreviewWidget*>()->pageCount();
            shownOrientation = dialog->findChild<QPrintPreviewWidget*>()->orientation();
            for (QAction* action : dialog->findChildren<QAction*>()) {
                if (action->text() == QCoreApplication::translate("QPrintPreviewDialog", "Print")) {
                    printed = true;
                    action->trigger();
                    return;
                }
            }
            dialog->reject();
        });
        QTimer::singleShot(60000, f.form.get(), [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        f.previewCurrent();
        QVERIFY(printed);
        QCOMPARE(shown, sheets);
        QCOMPARE(shownOrientation, landscape ? QPageLayout::Landscape : QPageLayout::Portrait);

        QVERIFY(QTest::qWaitFor([&] { return (jobs = f.cups.jobsTitled({entry})).size() >= 2; }, 30000));
        QCOMPARE(jobs.size(), 2); // one job from the preview, named as Print All names it
        QCOMPARE(dv::pdfPageCount(fileBytes(jobs[1].pdfPath)), sheets);
        QCOMPARE(PrivateCups::pdfText(jobs[1].pdfPath), PrivateCups::pdfText(jobs[0].pdfPath));
        QCOMPARE(f.dialogs.messages.size(), 1); // Print All's closing message only
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPrintout test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_printout.moc"
