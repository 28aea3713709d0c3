// The address finder and the text box's line cutting, without widgets.
#include "urlfinder.h"

#include <QTest>

class TestAddUrlFinder : public QObject {
    Q_OBJECT

private slots:
    void urlFromString_data();
    void urlFromString();
    void urlFromString_appendsAfterEarlierFinds();
    void textLines_data();
    void textLines();
};

void TestAddUrlFinder::urlFromString_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("expected");

    const QString a256(256, QLatin1Char('a'));
    const QString longest = QStringLiteral("http://") + a256 + QStringLiteral(".com");
    QTest::newRow("host of 256 characters is found") << longest << QStringList{longest};
    QTest::newRow("host of 257 characters before the dot is not")
        << QStringLiteral("http://a") + a256 + QStringLiteral(".com") << QStringList{};
    QTest::newRow("last label of 7 letters is not")
        << QStringLiteral("http://example.abcdefg") << QStringList{};
    QTest::newRow("non-ASCII letter after the last label ends the address")
        << QStringLiteral("http://example.com\u00e9t\u00e9") << QStringList{QStringLiteral("http://example.com")};
    QTest::newRow("only one trailing dot is removed")
        << QStringLiteral("http://example.org/a..") << QStringList{QStringLiteral("http://example.org/a.")};
    QTest::newRow("only one trailing bracket is removed")
        << QStringLiteral("http://example.org/a))") << QStringList{QStringLiteral("http://example.org/a)")};
    QTest::newRow("bracket then dot both go")
        << QStringLiteral("(http://example.org/a).") << QStringList{QStringLiteral("http://example.org/a")};
    QTest::newRow("dot then bracket keeps the dot")
        << QStringLiteral("http://example.org/a.)") << QStringList{QStringLiteral("http://example.org/a.")};
    QTest::newRow("port, query and fragment are kept")
        << QStringLiteral("go to https://www.example.com:8080/p?q=1#top now")
        << QStringList{QStringLiteral("https://www.example.com:8080/p?q=1#top")};
    QTest::newRow("addresses joined by a space are two matches")
        << QStringLiteral("http://a.test/1 http://b.test/2")
        << QStringList{QStringLiteral("http://a.test/1"), QStringLiteral("http://b.test/2")};
    QTest::newRow("a comma ends an address")
        << QStringLiteral("http://a.test,http://b.test")
        << QStringList{QStringLiteral("http://a.test"), QStringLiteral("http://b.test")};
    QTest::newRow("scheme without slashes is not an address")
        << QStringLiteral("http:example.com mailto:x@example.com") << QStringList{};
    QTest::newRow("empty line") << QString() << QStringList{};
    // Caseless matching would take these two for the ASCII letters s and k.
    QTest::newRow("long s is not the s of https")
        << QStringLiteral("http\u017f://example.com") << QStringList{};
    QTest::newRow("Kelvin sign is not the letter k")
        << QStringLiteral("http://\u212aelvin.test http://a.test/\u212a")
        << QStringList{QStringLiteral("http://a.test/")};
}

void TestAddUrlFinder::urlFromString()
{
    QFETCH(QString, line);
    QFETCH(QStringList, expected);
    QStringList found;
    dv::findUrlsInLine(line, found);
    QCOMPARE(found, expected);
}

void TestAddUrlFinder::urlFromString_appendsAfterEarlierFinds()
{
    QStringList found{QStringLiteral("http://first.test")};
    dv::findUrlsInLine(QStringLiteral("see http://first.test"), found);
    QCOMPARE(found, (QStringList{QStringLiteral("http://first.test"), QStringLiteral("http://first.test")}));
}

void TestAddUrlFinder::textLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty text has no lines") << QString() << QStringList{};
    QTest::newRow("one line without a break") << QStringLiteral("a") << QStringList{QStringLiteral("a")};
    QTest::newRow("final break adds no empty line") << QStringLiteral("a\n") << QStringList{QStringLiteral("a")};
    QTest::newRow("inner empty line is kept")
        << QStringLiteral("a\n\nb\n") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("only a break is one empty line") << QStringLiteral("\n") << QStringList{QString()};
    QTest::newRow("two breaks are two empty lines") << QStringLiteral("\n\n") << QStringList{QString(), QString()};
    QTest::newRow("CR LF is one break")
        << QStringLiteral("a\r\nb\r\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("lone CR is a break")
        << QStringLiteral("a\rb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("LF CR is two breaks")
        << QStringLiteral("a\n\rb") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")};
    QTest::newRow("spaces are kept")
        << QStringLiteral("  a \n b") << QStringList{QStringLiteral("  a "), QStringLiteral(" b")};
}

void TestAddUrlFinder::textLines()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(dv::textLines(text), expected);
}

QTEST_GUILESS_MAIN(TestAddUrlFinder)
#include "tst_addurl_finder.moc"
