// The desktop-service stand-ins: the per-user registry file, the named mutex, error
// texts and file-dialog filters.
#include "dialogs.h"
#include "errors.h"
#include "namedmutex.h"
#include "registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using dv::RegistryStore;
using dv::RegType;
using dv::RegValue;

class TestPlatform : public QObject {
    Q_OBJECT

private slots:
    void registryTypes_surviveARestart()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("sub/registry.json"));
        {
            RegistryStore store(file);
            QVERIFY(store.setValue(QStringLiteral("Software\\A\\B"), QStringLiteral("text"), RegValue::text(QStringLiteral("café ✓"))));
            QVERIFY(store.setValue(QStringLiteral("Software\\A\\B"), QStringLiteral("number"), RegValue::dword(11000)));
            QVERIFY(store.setValue(QStringLiteral("Software\\A\\B"), QStringLiteral("blob"), RegValue::binary(QByteArray("\x01\x02\x03\x04\x05", 5))));
            QVERIFY(store.createKey(QStringLiteral("Software\\Empty")));
        }
        RegistryStore again(file); // a new process reads the same file
        const auto text = again.queryValue(QStringLiteral("software\\a\\b"), QStringLiteral("TEXT"));
        QVERIFY(text);
        QCOMPARE(text->type, RegType::Sz);
        QCOMPARE(text->toText(), QStringLiteral("café ✓"));
        QCOMPARE(text->data.size(), (6 + 1) * 2); // UTF-16 with its NUL, as Windows keeps it
        const auto number = again.queryValue(QStringLiteral("Software\\A\\B"), QStringLiteral("number"));
        QVERIFY(number);
        QCOMPARE(number->type, RegType::Dword);
        QCOMPARE(number->toDword(), 11000u);
        const auto blob = again.queryValue(QStringLiteral("Software\\A\\B"), QStringLiteral("blob"));
        QVERIFY(blob);
        QCOMPARE(blob->type, RegType::Binary);
        QCOMPARE(blob->data.size(), 5);
        QVERIFY(again.keyExists(QStringLiteral("Software\\Empty")));
        QVERIFY(again.keyExists(QStringLiteral("Software\\A"))); // parents come with a key
        QVERIFY(!again.keyExists(QStringLiteral("Software\\Missing")));
        QVERIFY(!again.queryValue(QStringLiteral("Software\\A\\B"), QStringLiteral("missing")));

        QVERIFY(again.deleteValue(QStringLiteral("Software\\A\\B"), QStringLiteral("number")));
        QVERIFY(!again.deleteValue(QStringLiteral("Software\\A\\B"), QStringLiteral("number")));
        QVERIFY(!RegistryStore(file).queryValue(QStringLiteral("Software\\A\\B"), QStringLiteral("number")));
    }

    void twoProcessesWritingAtOnce_loseNothing()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/registry_writer");
        const int count = 150;
        QProcess a;
        QProcess b;
        a.start(writer, {file, QStringLiteral("a"), QString::number(count)});
        b.start(writer, {file, QStringLiteral("b"), QString::number(count)});
        QVERIFY(a.waitForFinished(60000));
        QVERIFY(b.waitForFinished(60000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        RegistryStore store(file);
        for (const char* prefix : {"a", "b"}) {
            for (int i = 0; i < count; ++i) {
                const auto v = store.queryValue(QStringLiteral("Software\\Race"), QLatin1String(prefix) + QString::number(i));
                QVERIFY2(v, qPrintable(QStringLiteral("lost %1%2").arg(QLatin1String(prefix)).arg(i)));
                QCOMPARE(v->type, i % 2 ? RegType::Dword : RegType::Sz);
            }
        }
    }

    void damagedFile_readsEmptyAndIsSetAsideOnWrite()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"keys\": [ this is not json");
        f.close();

        RegistryStore store(file);
        QVERIFY(!store.keyExists(QStringLiteral("Software")));
        QVERIFY(!store.queryValue(QStringLiteral("Software"), QStringLiteral("x")));
        QVERIFY(store.setValue(QStringLiteral("Software"), QStringLiteral("x"), RegValue::dword(1)));
        QCOMPARE(store.queryValue(QStringLiteral("Software"), QStringLiteral("x"))->toDword(), 1u);
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("registry.json.damaged-*")});
        QCOMPARE(aside.size(), 1); // the damaged file is kept for the user, not overwritten
    }

    // Hand-edited numbers: only a whole number within the type's range is a value.
    void storedNumbers_onlyWholeNumbersInRangeAreUsable_data()
    {
        QTest::addColumn<QByteArray>("json"); // the value's object, less its name
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data"); // empty: unusable, ignored by every reader
        const QByteArray none;
        QTest::newRow("DWORD 1") << QByteArray(R"("type": 4, "dword": 1)") << 4 << RegValue::dword(1).data;
        QTest::newRow("DWORD largest") << QByteArray(R"("type": 4, "dword": 4294967295)") << 4
                                       << RegValue::dword(0xFFFFFFFFu).data;
        QTest::newRow("DWORD 1.0 is whole") << QByteArray(R"("type": 4, "dword": 1.0)") << 4 << RegValue::dword(1).data;
        QTest::newRow("DWORD as text") << QByteArray(R"("type": 4, "dword": "1")") << 4 << none;
        QTest::newRow("DWORD true") << QByteArray(R"("type": 4, "dword": true)") << 4 << none;
        QTest::newRow("DWORD null") << QByteArray(R"("type": 4, "dword": null)") << 4 << none;
        QTest::newRow("DWORD 1.5") << QByteArray(R"("type": 4, "dword": 1.5)") << 4 << none;
        QTest::newRow("DWORD negative") << QByteArray(R"("type": 4, "dword": -1)") << 4 << none;
        QTest::newRow("DWORD 2^32 is not cut to 0") << QByteArray(R"("type": 4, "dword": 4294967296)") << 4 << none;
        QTest::newRow("DWORD 2^32+1 is not cut to 1") << QByteArray(R"("type": 4, "dword": 4294967297)") << 4 << none;
        QTest::newRow("QWORD 2^32+1") << QByteArray(R"("type": 11, "qword": 4294967297)") << 11
                                      << RegValue::qword(4294967297ull).data;
        QTest::newRow("QWORD 2^63") << QByteArray(R"("type": 11, "qword": 9223372036854775808)") << 11
                                    << RegValue::qword(1ull << 63).data;
        QTest::newRow("QWORD 2^64") << QByteArray(R"("type": 11, "qword": 18446744073709551616)") << 11 << none;
        QTest::newRow("QWORD as text") << QByteArray(R"("type": 11, "qword": "5")") << 11 << none;
        QTest::newRow("QWORD 0.5") << QByteArray(R"("type": 11, "qword": 0.5)") << 11 << none;
        QTest::newRow("type 2^32+4 is no DWORD")
            << QByteArray(R"("type": 4294967300, "dword": 1)") << 0 << RegValue::dword(1).data;
        QTest::newRow("type as text is no DWORD")
            << QByteArray(R"("type": "4", "dword": 1)") << 0 << RegValue::dword(1).data;
    }
    void storedNumbers_onlyWholeNumbersInRangeAreUsable()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"keys": [{"path": "Software", "values": [{"name": "v", )" + json + "}]}]}");
        f.close();

        const auto value = RegistryStore(file).queryValue(QStringLiteral("Software"), QStringLiteral("v"));
        QVERIFY(value);
        QCOMPARE(int(value->type), type);
        QCOMPARE(value->data.toHex(), data.toHex());
    }

    void storedNumbers_surviveAWrite()
    {
        QTemporaryDir dir;
        RegistryStore store(dir.filePath(QStringLiteral("registry.json")));
        const quint64 numbers[] = {0, 4294967297ull, quint64(INT64_MAX), quint64(INT64_MAX) + 2, UINT64_MAX};
        for (const quint64 n : numbers) {
            QVERIFY(store.setValue(QStringLiteral("Software"), QStringLiteral("q"), RegValue::qword(n)));
            const auto value = store.queryValue(QStringLiteral("Software"), QStringLiteral("q"));
            QVERIFY(value);
            QCOMPARE(value->type, RegType::Qword);
            QCOMPARE(value->toQword(), n);
        }
    }

    void damagedFile_isReportedOncePerRun()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not json");
        f.close();
        static int reports = 0;
        reports = 0;
        const QtMessageHandler previous
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
                  if (message.contains(QLatin1String("damaged")))
                      ++reports;
              });
        const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        RegistryStore store(file);
        for (int i = 0; i < 13; ++i)
            QVERIFY(!store.queryValue(QStringLiteral("Software"), QStringLiteral("x")));
        RegistryStore(file).keyExists(QStringLiteral("Software"));
        QCOMPARE(reports, 1);
    }

    void unwritableStore_reportsFailure()
    {
        if (geteuid() == 0)
            QSKIP("root writes anywhere");
        RegistryStore store(QStringLiteral("/proc/dorvantis/registry.json"));
        QVERIFY(!store.setValue(QStringLiteral("Software"), QStringLiteral("x"), RegValue::dword(1)));
    }

    void namedMutex_isVisibleWhileHeldAndAllowsASecond()
    {
        // A runtime folder of the test's own, so no file is left in the shared one.
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto restore = qScopeGuard([&] {
            if (hadRuntime)
                qputenv("XDG_RUNTIME_DIR", savedRuntime);
            else
                qunsetenv("XDG_RUNTIME_DIR");
        });
        const QString name = QStringLiteral("DorvantisTest");
        QCOMPARE(QFileInfo(dv::NamedMutex::pathFor(name)).absolutePath(), QDir(runtime.path()).absolutePath());
        QVERIFY(!dv::NamedMutex::isHeld(name));
        {
            dv::NamedMutex first(name);
            dv::NamedMutex second(name); // never refused
            QVERIFY(dv::NamedMutex::isHeld(name));
        }
        QVERIFY(!dv::NamedMutex::isHeld(name));
    }

    void errorText_addsFullStopOnlyWhenNeeded_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("word") << "x" << "x.";
        QTest::newRow("full stop") << "x." << "x.";
        QTest::newRow("exclamation") << "x!" << "x!";
        QTest::newRow("space") << "x " << "x ";
        QTest::newRow("slash is above 46") << "a/b/" << "a/b/.";
        QTest::newRow("empty") << "" << ".";
    }
    void errorText_addsFullStopOnlyWhenNeeded()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(dv::defaultErrorText(message), shown);
    }

    void fileFilters_becomeQtFilters_data()
    {
        QTest::addColumn<QString>("pipe");
        QTest::addColumn<QString>("qt");
        QTest::newRow("html") << "HTML Files|*.htm*" << "HTML Files (*.htm*)";
        QTest::newRow("text and any") << "Text Files (*.txt)|*.txt|Any Files (*.*)|*.*"
                                      << "Text Files (*.txt);;Any Files (*)";
    }
    void fileFilters_becomeQtFilters()
    {
        QFETCH(QString, pipe);
        QFETCH(QString, qt);
        QCOMPARE(dv::toQtFileFilter(pipe), qt);
    }

    void carriageReturns_showAsLineBreaks()
    {
        QCOMPARE(dv::withLineBreaks(QStringLiteral("a\rb\r\rc\r\nd")), QStringLiteral("a\nb\n\nc\nd"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
