#include "settings.h"

#include "errors.h"
#include "registry.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Section = QStringLiteral("Settings");
const QString Title = QStringLiteral("KELMARO - Dorvantis");

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        registry_ = std::make_unique<dv::RegistryStore>(dir_.filePath(QString("registry-%1.json").arg(++n_)));
    }

    void firstUse_createsKeyAndReadsDefaults()
    {
        dv::SettingsStore store(*registry_, Title);
        QVERIFY(store.opened());
        QCOMPARE(store.keyPath(), "SOFTWARE\\Microsoft\\VS\\ServiceModules\\" + dv::SettingsKeyName(Title));
        QVERIFY(registry_->keyExists(store.keyPath()));
        QCOMPARE(store.ReadInteger(Section, "ShowUpdate", 1), 1);
        QCOMPARE(store.ReadString(Section, "LastUpdateCheck", QString()), QString());
        QCOMPARE(store.ReadInteger(Section, "LastUpdateCheckCount", 0), 0);
        // The section comes with the first write, not before.
        QVERIFY(!registry_->keyExists(store.keyPath() + "\\Settings"));
    }

    void readInteger_parsesDecimalTextOrGivesDefault_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("not a number") << "abc" << 1;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("count") << "4" << 4;
        QTest::newRow("negative") << "-3" << -3;
        QTest::newRow("empty") << "" << 1;
        QTest::newRow("trailing junk") << "5x" << 1;
        QTest::newRow("beyond 32 bits") << "4294967296" << 1;
    }

    void readInteger_parsesDecimalTextOrGivesDefault()
    {
        QFETCH(QString, stored);
        QFETCH(int, expected);
        dv::SettingsStore store(*registry_, Title);
        store.WriteString(Section, "ShowUpdate", stored);
        QCOMPARE(store.ReadInteger(Section, "ShowUpdate", 1), expected);
    }

    void writes_storeStringValuesThatReadBack()
    {
        dv::SettingsStore store(*registry_, Title);
        store.WriteInteger(Section, "LastUpdateCheckCount", 5);
        store.WriteString(Section, "LastUpdateCheck", QString::fromUtf8("10.12.2026 ü"));
        const auto raw = registry_->queryValue(store.keyPath() + "\\Settings", "LastUpdateCheckCount");
        QVERIFY(raw.has_value());
        QCOMPARE(raw->type, dv::RegType::Sz);
        QCOMPARE(raw->toText(), "5");
        QCOMPARE(store.ReadInteger(Section, "LastUpdateCheckCount", 0), 5);
        QCOMPARE(store.ReadString(Section, "LastUpdateCheck", QString()), QString::fromUtf8("10.12.2026 ü"));
        // A second store on the same title sees the same values.
        dv::SettingsStore again(*registry_, Title);
        QCOMPARE(again.ReadInteger(Section, "LastUpdateCheckCount", 0), 5);
    }

    void valueOfNumberType_raisesOnRead()
    {
        dv::SettingsStore store(*registry_, Title);
        QVERIFY(registry_->setValue(store.keyPath() + "\\Settings", "ShowUpdate", dv::RegValue::dword(0)));
        QVERIFY_THROWS_EXCEPTION(dv::AppError, store.ReadInteger(Section, "ShowUpdate", 1));
        QVERIFY_THROWS_EXCEPTION(dv::AppError, store.ReadString(Section, "ShowUpdate", QString()));
    }

    void expandableString_readsAsText()
    {
        dv::SettingsStore store(*registry_, Title);
        QVERIFY(registry_->setValue(store.keyPath() + "\\Settings", "ShowUpdate",
                                    dv::RegValue::text("0", dv::RegType::ExpandSz)));
        QCOMPARE(store.ReadInteger(Section, "ShowUpdate", 1), 0);
    }

    void keyName_isUpperHexMd5OfAsciiTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key");
        QTest::newRow("rfc 1321 abc") << "abc" << "900150983CD24FB0D6963F7D28E17F72";
        QTest::newRow("empty") << "" << "D41D8CD98F00B204E9800998ECF8427E";
        // Outside 7-bit ASCII a character counts as "?", one per character.
        QTest::newRow("non-ASCII as ?") << QString::fromUtf8("caf\u00e9") << dv::SettingsKeyName("caf?");
        QTest::newRow("astral as one ?") << QString::fromUtf8("a\U0001F600") << dv::SettingsKeyName("a?");
    }

    void keyName_isUpperHexMd5OfAsciiTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, key);
        QCOMPARE(dv::SettingsKeyName(title), key);
    }

    void twoTitles_useTwoKeys_andOneTitleAlwaysTheSame()
    {
        dv::SettingsStore a(*registry_, "KELMARO - Dorvantis");
        dv::SettingsStore b(*registry_, "KELMARO - Other");
        QVERIFY(a.keyPath() != b.keyPath());
        QCOMPARE(dv::SettingsStore(*registry_, "KELMARO - Dorvantis").keyPath(), a.keyPath());
        a.WriteInteger(Section, "ShowUpdate", 0);
        QCOMPARE(b.ReadInteger(Section, "ShowUpdate", 1), 1);
    }

    void scramble_roundTripsRandomTexts()
    {
        QRandomGenerator rng(20261210);
        for (int round = 0; round < 300; ++round) {
            QString text;
            const int length = rng.bounded(40);
            for (int i = 0; i < length; ++i) {
                // ASCII, Latin, Cyrillic, CJK and an emoji (a surrogate pair).
                static const char32_t pool[] = {U'a', U'Z', U'0', U' ', U'/', U'%', U'\u00e9', U'\u0416',
                                                U'\u4e2d', U'\U0001F600', U'\u0001', U'\u00ff'};
                const char32_t c = pool[rng.bounded(int(std::size(pool)))];
                text += QString::fromUcs4(&c, 1);
            }
            const quint8 seed = quint8(rng.bounded(256));
            const QString hex = dv::ScrambleText(text, seed);
            QCOMPARE(hex.size(), text.toUtf8().size() * 2);
            QVERIFY2(QRegularExpression("^[0-9A-F]*$").match(hex).hasMatch(), qPrintable(hex));
            QCOMPARE(dv::UnscrambleText(hex, seed), text);
        }
    }

    void scramble_followsTheKeyWalkModulo65536_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hex");
        // Both walk through keys whose product with the multiplier passes 2^31.
        QTest::newRow("local file") << "file:///etc/passwd" << "661940878ED318A2FF03AFD9569E3D9919CB";
        QTest::newRow("download address")
            << "https://kelmaro.example/get" << "68D86309AAB1F05F4692965E3354316CC5ADF90665DB14081AA8D5";
        // A leading U+FEFF is text like any other, not a byte-order mark to drop.
        QTest::newRow("leading U+FEFF")
            << QStringLiteral("\uFEFFhttps://a.test") << "EFA04D916930B6D91CC180E4345445B37F";
    }
    void scramble_followsTheKeyWalkModulo65536()
    {
        QFETCH(QString, text);
        QFETCH(QString, hex);
        QCOMPARE(dv::ScrambleText(text, dv::ScrambleSeed), hex);
        QCOMPARE(dv::UnscrambleText(hex, dv::ScrambleSeed), text);
    }

    void scramble_hidesTheText()
    {
        const QString url = QStringLiteral("https://kelmaro.example/download/dorvantis.deb");
        const QString hex = dv::ScrambleText(url, dv::ScrambleSeed);
        QVERIFY(hex != QString::fromLatin1(url.toUtf8().toHex().toUpper()));
        QVERIFY(dv::UnscrambleText(hex, quint8(dv::ScrambleSeed + 1)) != url);
        QCOMPARE(dv::ScrambleText(QString::fromUtf8("ab\u00e9"), dv::ScrambleSeed).size(), 8);
        QCOMPARE(dv::ScrambleText("abc", dv::ScrambleSeed).size(), 6);
        QCOMPARE(dv::ScrambleText(QString(), dv::ScrambleSeed), QString());
    }

    void unscramble_acceptsLowerCase_ignoresOddTail_andRefusesNonHex()
    {
        const QString hex = dv::ScrambleText("abc", dv::ScrambleSeed);
        QCOMPARE(dv::UnscrambleText(hex.toLower(), dv::ScrambleSeed), "abc");
        QCOMPARE(dv::UnscrambleText(hex + "F", dv::ScrambleSeed), "abc");
        QCOMPARE(dv::UnscrambleText(hex + "Z", dv::ScrambleSeed), "abc");
        QCOMPARE(dv::UnscrambleText("ZZ", dv::ScrambleSeed), QString());
        QCOMPARE(dv::UnscrambleText(hex + "0G", dv::ScrambleSeed), QString());
        QCOMPARE(dv::UnscrambleText(QString(), dv::ScrambleSeed), QString());
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<dv::RegistryStore> registry_;
    int n_ = 0;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
