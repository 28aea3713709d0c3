// The names PDF outputs give pages: the title a page goes by, and the file name in
// a PDF folder (position, characters other systems refuse, the 200-byte bound).
#include "destination.h"
#include "registry.h"

#include <QTemporaryDir>
#include <QtTest>

using Kind = dv::PrintDestination::Kind;

class TestPdfNames : public QObject {
    Q_OBJECT

private slots:
    void titleForPage_data()
    {
        QTest::addColumn<QString>("engineTitle");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("own title, spaces tidied")
            << QStringLiteral("  A  report\n") << QStringLiteral("/tmp/r.html") << QStringLiteral("A report");
        QTest::newRow("no title: the file name")
            << QString() << QStringLiteral("/tmp/r.html") << QStringLiteral("r.html");
        QTest::newRow("the file's own address")
            << QStringLiteral("file:///tmp/r.html") << QStringLiteral("/tmp/r.html") << QStringLiteral("r.html");
        QTest::newRow("address without scheme")
            << QStringLiteral("127.0.0.1:8080/a/p.php?x=1") << QStringLiteral("http://127.0.0.1:8080/a/p.php?x=1")
            << QStringLiteral("p.php");
        QTest::newRow("site root: the host") << QStringLiteral("http://example.org/")
                                             << QStringLiteral("http://example.org/") << QStringLiteral("example.org");
    }

    void titleForPage()
    {
        QFETCH(QString, engineTitle);
        QFETCH(QString, address);
        QFETCH(QString, expected);
        const QUrl url = QUrl::fromUserInput(address, QStringLiteral("/"), QUrl::AssumeLocalFile);
        QCOMPARE(dv::titleForPage(engineTitle, url, address), expected);
    }

    void pdfFileName_data()
    {
        QTest::addColumn<qint64>("position");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("copy");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << qint64(7) << 3 << QStringLiteral("News") << 1 << QStringLiteral("007 - News.pdf");
        QTest::newRow("second copy") << qint64(7) << 3 << QStringLiteral("News") << 2
                                     << QStringLiteral("007 - News (2).pdf");
        QTest::newRow("long list: wider number")
            << qint64(12) << 4 << QStringLiteral("x") << 1 << QStringLiteral("0012 - x.pdf");
        QTest::newRow("refused characters") << qint64(1) << 3 << QStringLiteral("a/b\\c:d*e?f\"g<h>i|j") << 1
                                            << QStringLiteral("001 - a_b_c_d_e_f_g_h_i_j.pdf");
        QTest::newRow("control characters and trailing dots")
            << qint64(1) << 3 << QStringLiteral("tab\there\nnext...") << 1 << QStringLiteral("001 - tab here next.pdf");
        QTest::newRow("nothing left of the title")
            << qint64(2) << 3 << QStringLiteral(" . ") << 1 << QStringLiteral("002 - page.pdf");
    }

    void pdfFileName()
    {
        QFETCH(qint64, position);
        QFETCH(int, digits);
        QFETCH(QString, title);
        QFETCH(int, copy);
        QFETCH(QString, expected);
        QCOMPARE(dv::pdfFileName(position, digits, title, copy), expected);
    }

    void pdfFileName_longTitle_staysWithin200BytesWithoutSplittingACharacter_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::newRow("two-byte letters") << QStringLiteral("\u00e9");
        QTest::newRow("three-byte letters") << QStringLiteral("\u65e5");
        QTest::newRow("four-byte emoji") << QString::fromUcs4(U"\U0001F600");
    }

    void pdfFileName_longTitle_staysWithin200BytesWithoutSplittingACharacter()
    {
        QFETCH(QString, unit);
        for (int copy : {1, 12}) {
            const QString name = dv::pdfFileName(1, 3, unit.repeated(300), copy);
            QVERIFY2(name.toUtf8().size() <= 200, qPrintable(name));
            QVERIFY(name.toUtf8().size() > 190);
            QVERIFY(name.endsWith(copy == 1 ? QStringLiteral(".pdf") : QStringLiteral(" (12).pdf")));
            QCOMPARE(QString::fromUtf8(name.toUtf8()), name); // no half character
            QVERIFY(!name.contains(QChar::ReplacementCharacter));
        }
    }

    void storedDestination_roundTripsAndUnusableValuesReadAsTheDefault()
    {
        QTemporaryDir dir;
        dv::RegistryStore registry(dir.filePath(QStringLiteral("registry.json")));
        QCOMPARE(dv::loadDestination(registry).chosen, dv::PrintDestination {});

        const dv::StoredDestination stored {
            {Kind::Printer, QStringLiteral("office")}, QStringLiteral("/srv/out"), QStringLiteral("/srv/run.pdf")};
        QVERIFY(dv::saveDestination(registry, stored));
        const dv::StoredDestination back = dv::loadDestination(registry);
        QCOMPARE(back.chosen, stored.chosen);
        QCOMPARE(back.pdfFolder, stored.pdfFolder);
        QCOMPARE(back.pdfFile, stored.pdfFile);

        const QString key = QString::fromLatin1(dv::PrintingKey);
        registry.setValue(key, QStringLiteral("PrintTo"), dv::RegValue::dword(2));
        QCOMPARE(dv::loadDestination(registry).chosen, dv::PrintDestination {});
        registry.setValue(key, QStringLiteral("PrintTo"), dv::RegValue::text(QStringLiteral("printer")));
        registry.setValue(key, QStringLiteral("Printer"), dv::RegValue::text(QString()));
        QCOMPARE(dv::loadDestination(registry).chosen, dv::PrintDestination {});
    }
};

QTEST_GUILESS_MAIN(TestPdfNames)

#include "tst_pdfnames.moc"
