// Pages as the web writes them, printed through the real engine and the private
// CUPS scheduler: bars a page keeps in view print once, lines are whole at sheet
// breaks, and a page of hundreds of sheets gets the time it needs. Read back with
// pdftotext's word boxes. Needs the private_cups fixture.
#include "enginefixture.h"
#include "pagesetup.h"
#include "pdfstamp.h"
#include "webenginebrowser.h"

#include <QRegularExpression>
#include <QStackedWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

using dv::test::PrivateCups;
using dv::test::token;
using Fixture = dv::test::EngineFixture;

namespace {

struct Word {
    QRectF box;
    QString text;
};
// One sheet's words, boxes in points from its top left corner.
using Sheet = QList<Word>;

QList<Sheet> sheetsOf(const QString& pdfPath)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdfPath, QStringLiteral("-")});
    p.waitForFinished(120000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression item(QStringLiteral("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                                        "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Sheet> sheets;
    for (const QRegularExpressionMatch& m : item.globalMatch(html)) {
        if (m.captured(1).isEmpty())
            sheets.append(Sheet());
        else if (!sheets.isEmpty())
            sheets.last() << Word {QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                       QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                m.captured(5)};
    }
    return sheets;
}

// The content box of the sheets the fixture's page setup prints.
QRectF contentBox(Fixture& f)
{
    return dv::sheetLayout(dv::loadPageSetup(f.registry, dv::defaultPageSetup())).paintRect(QPageLayout::Point);
}

// Words cut by a sheet break: their box crosses the top or bottom edge of the content.
QStringList cutWords(const QList<Sheet>& sheets, const QRectF& box)
{
    QStringList cut;
    for (int n = 0; n < sheets.size(); ++n)
        for (const Word& w : sheets[n])
            for (double edge : {box.top(), box.bottom()})
                if (w.box.top() < edge - 1 && w.box.bottom() > edge + 1)
                    cut << QStringLiteral("%1 on sheet %2").arg(w.text).arg(n + 1);
    return cut;
}

QString writePage(Fixture& f, const QString& name, const QString& head, const QString& body)
{
    const QString path = f.dir.filePath(name + QStringLiteral(".html"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    // Titled apart from the name, whose count in the printout tells lost and doubled lines.
    file.write(QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Fixture</title>%1</head>"
                              "<body>%2</body></html>")
                   .arg(head, body)
                   .toUtf8());
    return path;
}

QString lines(const QString& marker, int count)
{
    QString text;
    for (int i = 1; i <= count; ++i)
        text += QStringLiteral("<p>%1 line %2 of a text that runs over several sheets</p>").arg(marker).arg(i);
    return text;
}

int count(const QList<Sheet>& sheets, const QString& text)
{
    int n = 0;
    for (const Sheet& sheet : sheets)
        for (const Word& w : sheet)
            n += w.text == text ? 1 : 0;
    return n;
}

QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    QVariant result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 10000);
    return result;
}

} // namespace

class TestPageFidelity : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    void fixedBars_printOnceWhereTheyStand_unlessSwitchedOff_data()
    {
        QTest::addColumn<bool>("once");
        QTest::newRow("once, as by default") << true;
        QTest::newRow("on every sheet, as browsers print them") << false;
    }

    // A narrow layout's bar, fixed by a rule within a media query as real manuals do,
    // one fixed by its own style attribute, and a sticky heading.
    void fixedBars_printOnceWhereTheyStand_unlessSwitchedOff()
    {
        QFETCH(bool, once);
        Fixture f;
        if (!once) {
            dv::PageSetup setup = dv::defaultPageSetup();
            setup.fixedBarsOnce = false;
            QVERIFY(dv::savePageSetup(f.registry, setup, dv::defaultPageSetup()));
        }
        const QString marker = token();
        const QString entry = writePage(f, marker,
            QStringLiteral("<style>@media (max-width: 5000px) { .bar { position: fixed; top: 0; left: 0; right: 0;"
                           " height: 40px; background: white; font-size: 20px } }"
                           " .side { position: sticky; top: 0; background: white }</style>"),
            QStringLiteral("<div class=\"bar\">FIXEDBAR</div>"
                           "<div style=\"position: fixed; bottom: 0; background: white\">INLINEBAR</div>"
                           "<h2 class=\"side\">STICKYBAR</h2>")
                + lines(marker, 150));
        f.setPages({entry});
        f.printAll();
        const QList<PrivateCups::Job> jobs = f.jobsFor({entry});
        QCOMPARE(jobs.size(), 1);
        const QList<Sheet> sheets = sheetsOf(jobs[0].pdfPath);
        QVERIFY(sheets.size() >= 3);
        if (!once) {
            QCOMPARE(count(sheets, QStringLiteral("FIXEDBAR")), sheets.size());
            return;
        }
        for (const QString& bar :
            {QStringLiteral("FIXEDBAR"), QStringLiteral("INLINEBAR"), QStringLiteral("STICKYBAR")})
            QVERIFY2(
                count(sheets, bar) == 1, qPrintable(bar + QStringLiteral(" printed %1 times").arg(count(sheets, bar))));
        // The bar lies over no text, and every line printed.
        for (const Word& bar : sheets[0]) {
            if (bar.text != QLatin1String("FIXEDBAR"))
                continue;
            for (const Word& w : sheets[0])
                QVERIFY2(
                    &w == &bar || !w.box.intersects(bar.box), qPrintable(w.text + QStringLiteral(" under the bar")));
        }
        QCOMPARE(count(sheets, marker), 150);
        // The screen shows the page as it was.
        auto* views = f.form->findChild<QStackedWidget*>(QStringLiteral("browserStack"));
        QVERIFY(views);
        QWebEnginePage* page = qobject_cast<QWebEngineView*>(views->currentWidget())->page();
        QCOMPARE(evaluate(page, QStringLiteral("getComputedStyle(document.querySelector('.bar')).position")).toString(),
            QStringLiteral("fixed"));
    }

    // Text in a flex container is cut through at sheet breaks by the engine unless
    // the print is prepared for it.
    void linesAtSheetBreaks_areWhole_data()
    {
        QTest::addColumn<QString>("style");
        QTest::newRow("plain blocks") << QString();
        QTest::newRow("flex container") << QStringLiteral(".document { display: flex }");
        QTest::newRow("flex column") << QStringLiteral(".document { display: flex; flex-direction: column }");
        QTest::newRow("grid") << QStringLiteral(".document { display: grid }");
    }

    void linesAtSheetBreaks_areWhole()
    {
        QFETCH(QString, style);
        Fixture f;
        const QString marker = token();
        const QString entry = writePage(f, marker,
            QStringLiteral("<style>%1 p { font-size: 15px; margin: 0.45em 0 }</style>").arg(style),
            QStringLiteral("<div class=\"document\"><div class=\"body\">%1</div></div>").arg(lines(marker, 300)));
        f.setPages({entry});
        f.printAll();
        const QList<PrivateCups::Job> jobs = f.jobsFor({entry});
        QCOMPARE(jobs.size(), 1);
        const QList<Sheet> sheets = sheetsOf(jobs[0].pdfPath);
        QVERIFY(sheets.size() >= 4);
        const QStringList cut = cutWords(sheets, contentBox(f));
        QVERIFY2(cut.isEmpty(),
            qPrintable(QStringLiteral("%1 words cut: ").arg(cut.size()) + cut.mid(0, 10).join(QLatin1String(", "))));
        QCOMPARE(count(sheets, marker), 300);
    }

    // The render process of a page of hundreds of sheets answers at once but takes
    // long to print: it is busy, not hung, and gets the time its sheets need.
    void bigPage_printsInFull_pastTheBoundForAHungRenderer()
    {
        AppParts parts;
        parts.pageSourceFactory = [](QWidget* parent) {
            auto browser = std::make_unique<dv::WebEngineBrowser>(parent);
            browser->setRenderTimeoutMs(1000);
            return browser;
        };
        Fixture f(60000, parts);
        const QString marker = token();
        const QString entry
            = writePage(f, marker, QString(), lines(marker, 12000) + QStringLiteral("<p>END-OF-PAGE</p>"));
        f.setPages({entry});
        f.printAll();
        const QList<PrivateCups::Job> jobs = f.jobsFor({entry});
        QCOMPARE(jobs.size(), 1);
        QVERIFY2(f.logLines().isEmpty(), qPrintable(f.logLines().join(QLatin1Char('\n'))));
        const QByteArray pdf = [&] {
            QFile file(jobs[0].pdfPath);
            file.open(QIODevice::ReadOnly);
            return file.readAll();
        }();
        const int sheets = dv::pdfPageCount(pdf);
        QVERIFY2(sheets >= 300, qPrintable(QString::number(sheets)));
        QVERIFY(PrivateCups::pdfText(jobs[0].pdfPath).contains(QStringLiteral("END-OF-PAGE")));
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestPageFidelity test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pagefidelity.moc"
