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
