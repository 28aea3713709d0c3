// The stored browser emulation value: reading it as a DWORD with errors that name
// it, and writing or removing it for each level.
#include "errorof.h"
#include "emulation.h"
#include "errors.h"
#include "registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Key = QString::fromLatin1(dv::EmulationKey);
const QString Name = QStringLiteral("dorvantis");

using dv::test::errorOf;

} // namespace

class TestEmulationValue : public QObject {
    Q_OBJECT

private slots:
    void valueName_isExecutableFileName();
    void read_data();
    void read();
    void read_missingStore_createsKeyAndFindsNoValue();
    void write_data();
    void write();
    void writeLevel7_withoutValue_changesNothing();
    void write_unwritableStore_failsNamingTheValue_data();
    void write_unwritableStore_failsNamingTheValue();
};

void TestEmulationValue::valueName_isExecutableFileName()
{
    QCOMPARE(dv::emulationValueName(QStringLiteral("/opt/dorvantis/bin/dorvantis")), QStringLiteral("dorvantis"));
    QCOMPARE(dv::emulationValueName(QStringLiteral("/tmp/x/Renamed Copy.bin")), QStringLiteral("Renamed Copy.bin"));
}

void TestEmulationValue::read_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("level"); // 0: no item is marked
    QTest::addColumn<QString>("error");

    const auto dword = [](quint32 v) { return dv::RegValue::dword(v).data; };
    const int Dword = int(dv::RegType::Dword);
    QTest::newRow("8000 is level 8") << Dword << dword(8000) << 8 << QString();
    QTest::newRow("9000 is level 9") << Dword << dword(9000) << 9 << QString();
    QTest::newRow("10000 is level 10") << Dword << dword(10000) << 10 << QString();
    QTest::newRow("11000 is level 11") << Dword << dword(11000) << 11 << QString();
    QTest::newRow("7000 is no level") << Dword << dword(7000) << 0 << QString();
    QTest::newRow("11001 is no level") << Dword << dword(11001) << 0 << QString();
    QTest::newRow("0 is no level") << Dword << dword(0) << 0 << QString();
    QTest::newRow("text longer than four bytes")
        << int(dv::RegType::Sz) << dv::RegValue::text(QStringLiteral("11000")).data << 0
        << QStringLiteral("Failed to get data for 'dorvantis'");
    QTest::newRow("text of four bytes") << int(dv::RegType::Sz) << dv::RegValue::text(QStringLiteral("1")).data << 0
                                        << QStringLiteral("Invalid data type for 'dorvantis'");
    QTest::newRow("binary holding 11000 in four bytes")
        << int(dv::RegType::Binary) << dword(11000) << 0 << QStringLiteral("Invalid data type for 'dorvantis'");
    QTest::newRow("binary of five bytes") << int(dv::RegType::Binary) << QByteArray(5, '\1') << 0
                                          << QStringLiteral("Failed to get data for 'dorvantis'");
    QTest::newRow("QWORD") << int(dv::RegType::Qword) << QByteArray::fromHex("f82a000000000000") << 0
                           << QStringLiteral("Failed to get data for 'dorvantis'");
    QTest::newRow("DWORD with eight bytes of data") << Dword << QByteArray::fromHex("f82a000000000000") << 0
                                                    << QStringLiteral("Failed to get data for 'dorvantis'");
    QTest::newRow("DWORD with two bytes of data is read as its low bytes")
        << Dword << QByteArray::fromHex("401f") << 8 << QString();
}

void TestEmulationValue::read()
{
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(int, level);
    QFETCH(QString, error);

    QTemporaryDir dir;
    dv::RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
    QVERIFY(store.setValue(Key, Name, dv::RegValue{dv::RegType(type), data}));

    std::optional<quint32> value;
    QCOMPARE(errorOf([&] { value = dv::readEmulationValue(store, Name); }), error);
    if (error.isEmpty()) {
        QVERIFY(value);
        const std::optional<int> marked = dv::emulationLevelForValue(value);
        QCOMPARE(marked.value_or(0), level);
    }
}

void TestEmulationValue::read_missingStore_createsKeyAndFindsNoValue()
{
    QTemporaryDir dir;
    dv::RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
    const std::optional<quint32> value = dv::readEmulationValue(store, Name);
    QVERIFY(!value);
    QCOMPARE(dv::emulationLevelForValue(value), std::optional<int>(7));
    QVERIFY(store.keyExists(Key));
}

void TestEmulationValue::write_data()
{
    QTest::addColumn<int>("before"); // 0: no value
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("after"); // 0: no value

    QTest::newRow("7 removes 9000") << 9000 << 7 << 0;
    QTest::newRow("7 removes an unknown number") << 12345 << 7 << 0;
    QTest::newRow("8 on no value") << 0 << 8 << 8000;
    QTest::newRow("9 replaces 11000") << 11000 << 9 << 9000;
    QTest::newRow("10 on no value") << 0 << 10 << 10000;
    QTest::newRow("11 again over 11000") << 11000 << 11 << 11000;
}

void TestEmulationValue::write()
{
    QFETCH(int, before);
    QFETCH(int, level);
    QFETCH(int, after);

    QTemporaryDir dir;
    dv::RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
    const QString other = QStringLiteral("other.exe");
    QVERIFY(store.setValue(Key, other, dv::RegValue::dword(10000)));
    if (before)
        QVERIFY(store.setValue(Key, Name, dv::RegValue::dword(quint32(before))));

    dv::writeEmulationLevel(store, Name, level);

    const std::optional<dv::RegValue> stored = store.queryValue(Key, Name);
    if (after) {
        QVERIFY(stored);
        QCOMPARE(stored->type, dv::RegType::Dword);
        QCOMPARE(stored->toDword(), quint32(after));
    } else {
        QVERIFY(!stored);
    }
    QCOMPARE(store.queryValue(Key, other)->toDword(), 10000u);
}

void TestEmulationValue::writeLevel7_withoutValue_changesNothing()
{
    QTemporaryDir dir;
    dv::RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
    dv::writeEmulationLevel(store, Name, 7);
    QVERIFY(!store.queryValue(Key, Name));
    QVERIFY(store.keyExists(Key));
}

void TestEmulationValue::write_unwritableStore_failsNamingTheValue_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("before"); // 0: no value
    QTest::addColumn<QString>("error");
    const QString failed = QStringLiteral("Failed to set data for 'dorvantis'");
    QTest::newRow("8 fails") << 8 << 0 << failed;
    QTest::newRow("11 over 9000 fails") << 11 << 9000 << failed;
    QTest::newRow("7 over 9000 fails") << 7 << 9000 << failed;
    QTest::newRow("7 without value has nothing to do") << 7 << 0 << QString();
}

void TestEmulationValue::write_unwritableStore_failsNamingTheValue()
{
    QFETCH(int, level);
    QFETCH(int, before);
    QFETCH(QString, error);

    // A store that reads but cannot be written, even by root: its lock file's
    // name is one character too long for the file system.
    QTemporaryDir dir;
    const QString path = dir.filePath(QString(250, QLatin1Char('r')) + QStringLiteral(".json"));
    {
        dv::RegistryStore writable(dir.filePath(QStringLiteral("seed.json")));
        QVERIFY(writable.createKey(Key));
        if (before)
            QVERIFY(writable.setValue(Key, Name, dv::RegValue::dword(quint32(before))));
        QVERIFY(QFile::copy(writable.filePath(), path));
    }
    dv::RegistryStore store(path);
    QVERIFY(!store.createKey(QStringLiteral("Software\\Probe")));

    QCOMPARE(errorOf([&] { dv::writeEmulationLevel(store, Name, level); }), error);
    const std::optional<dv::RegValue> stored = store.queryValue(Key, Name);
    QCOMPARE(stored.has_value(), before != 0);
    if (before)
        QCOMPARE(stored->toDword(), quint32(before));
}

QTEST_GUILESS_MAIN(TestEmulationValue)
#include "tst_emulation_value.moc"
