// Reading the version resource from ELF files: the program's own, crafted ones, and
// damaged ones that must never crash the reader.
#include "elfwriter.h"
#include "errors.h"
#include "versioninfo.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <optional>

using dv::test::makeElf;
using dv::test::versionSection;

class TestVersionInfo : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write fixture");
        f.write(bytes);
        return path;
    }

private slots:
    void ownExecutable_namesTheProgram()
    {
        ExeVersionData data;
        readExeVersionData(QStringLiteral(DV_EXECUTABLE_PATH), data);
        QCOMPARE(data.CompanyName, QStringLiteral("KELMARO"));
        QCOMPARE(data.ProductName, QStringLiteral("Dorvantis"));
        QCOMPARE(data.FileVersion, QStringLiteral("2.8.0.0"));
        QCOMPARE(data.ProductVersion, QStringLiteral("2.8.0.0"));
        QCOMPARE(data.OriginalFileName, QStringLiteral("dorvantis"));
        QVERIFY(!data.FileDescription.isEmpty());
        QVERIFY(!data.LegalCopyright.isEmpty());
        QVERIFY(data.PrivateBuild.isEmpty());
        QVERIFY(data.SpecialBuild.isEmpty());
        QCOMPARE(readFileVersion(QStringLiteral(DV_EXECUTABLE_PATH)), 0x00020008u);
        QCOMPARE(formatVersion(readFileVersion(QStringLiteral(DV_EXECUTABLE_PATH))), QStringLiteral("2.8"));
    }

    void firstTranslation_choosesItsTable_data()
    {
        QTest::addColumn<bool>("is64");
        QTest::addColumn<bool>("bigEndian");
        QTest::newRow("64-bit little-endian") << true << false;
        QTest::newRow("32-bit big-endian") << false << true;
    }
    void firstTranslation_choosesItsTable()
    {
        QFETCH(bool, is64);
        QFETCH(bool, bigEndian);
        const QByteArray section = versionSection({
            "\\VarFileInfo\\Translation=040704B0 040904E4",
            "\\StringFileInfo\\040904E4\\CompanyName=English Company",
            "\\StringFileInfo\\040704B0\\CompanyName=Deutsche Firma",
            "\\StringFileInfo\\040704B0\\ProductName=Produkt",
            "FixedFileVersion=000A000C00030004",
        });
        const QString path = write(QStringLiteral("de.elf"), makeElf({{".text", "code"}, {".dvversion", section}}, is64, bigEndian));
        ExeVersionData data;
        readExeVersionData(path, data);
        QCOMPARE(data.CompanyName, QStringLiteral("Deutsche Firma"));
        QCOMPARE(data.ProductName, QStringLiteral("Produkt"));
        QCOMPARE(formatVersion(readFileVersion(path)), QStringLiteral("10.12"));
    }

    void someStrings_fillOnlyThoseFields()
    {
        const QByteArray section = versionSection({
            "\\VarFileInfo\\Translation=040904E4",
            "\\StringFileInfo\\040904E4\\ProductName=Only Product",
            "\\StringFileInfo\\040904E4\\Comments=note",
        });
        const QString path = write(QStringLiteral("some.elf"), makeElf({{".dvversion", section}}));
        ExeVersionData data;
        data.CompanyName = QStringLiteral("kept");
        data.SpecialBuild = QStringLiteral("kept too");
        readExeVersionData(path, data);
        QCOMPARE(data.ProductName, QStringLiteral("Only Product"));
        QCOMPARE(data.Comments, QStringLiteral("note"));
        QCOMPARE(data.CompanyName, QStringLiteral("kept"));
        QCOMPARE(data.SpecialBuild, QStringLiteral("kept too"));
        QVERIFY(data.FileVersion.isEmpty());
        // No fixed part: the query answers with all bits set.
        QCOMPARE(readFileVersion(path), 0xFFFFFFFFu);
    }

    void noResource_raisesSystemErrorAndLeavesDataAlone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ELF without the section") << makeElf({{".text", "code"}})
                                                 << QStringLiteral("System Error.  Code: %1.\n").arg(ENODATA);
        QTest::newRow("not an ELF file") << QByteArray("just some text\n")
                                         << QStringLiteral("System Error.  Code: %1.\n").arg(ENOEXEC);
        QTest::newRow("resource without translation")
            << makeElf({{".dvversion", versionSection({"\\StringFileInfo\\040904E4\\ProductName=X"})}})
            << QStringLiteral("A call to an OS function failed");
    }
    void noResource_raisesSystemErrorAndLeavesDataAlone()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        const QString path = write(QStringLiteral("none.bin"), bytes);
        ExeVersionData data;
        data.ProductName = QStringLiteral("untouched");
        try {
            readExeVersionData(path, data);
            QFAIL("no error raised");
        } catch (const dv::SystemError& e) {
            QVERIFY2(e.message().startsWith(expected), qPrintable(e.message()));
            if (e.code() != 0)
                QVERIFY(e.message().size() > expected.size()); // the system's text follows the line break
        }
        QCOMPARE(data.ProductName, QStringLiteral("untouched"));
        QCOMPARE(formatVersion(readFileVersion(path)), QStringLiteral("65535.65535"));
    }

    void missingFile_raisesTheSystemsReason()
    {
        ExeVersionData data;
        try {
            readExeVersionData(dir.filePath(QStringLiteral("does-not-exist")), data);
            QFAIL("no error raised");
        } catch (const dv::SystemError& e) {
            QCOMPARE(e.code(), ENOENT);
            QCOMPARE(e.message(), QStringLiteral("System Error.  Code: 2.\nNo such file or directory"));
        }
        QCOMPARE(readFileVersion(dir.filePath(QStringLiteral("does-not-exist"))), 0xFFFFFFFFu);
    }

    void damagedFiles_neverCrashTheReader()
    {
        // Truncations at every length and random byte damage of a valid file: each
        // either reads or raises a system error, and never reads out of bounds (run
        // under the sanitizers to see it).
        const QByteArray good = makeElf({{".text", QByteArray(100, 'x')},
                                         {".dvversion", versionSection({"\\VarFileInfo\\Translation=040904E4",
                                                                        "\\StringFileInfo\\040904E4\\ProductName=P",
                                                                        "FixedFileVersion=0002000800000000"})}});
        QRandomGenerator random(20261210);
        int read = 0;
        int refused = 0;
        // The reader of contents in memory (which the fuzz target drives) must come to
        // the same result as the reader of files.
        auto attempt = [&](const QByteArray& bytes) {
            const QString path = write(QStringLiteral("fuzz.bin"), bytes);
            ExeVersionData data;
            ExeVersionData fromBytes;
            std::optional<int> fileError;
            std::optional<int> bytesError;
            try {
                readExeVersionData(path, data);
                ++read;
            } catch (const dv::SystemError& e) {
                fileError = e.code();
                ++refused;
            }
            try {
                readExeVersionDataFromBytes(bytes, fromBytes);
            } catch (const dv::SystemError& e) {
                bytesError = e.code();
            }
            const bool same = fileError == bytesError && data.ProductName == fromBytes.ProductName
                && readFileVersion(path) == readFileVersionFromBytes(bytes);
            QVERIFY2(same, bytes.toHex().constData());
        };
        for (int length = 0; length < good.size() && !QTest::currentTestFailed(); ++length)
            attempt(good.left(length));
        for (int i = 0; i < 3000 && !QTest::currentTestFailed(); ++i) {
            QByteArray bytes = good;
            const int hits = 1 + int(random.bounded(8));
            for (int h = 0; h < hits; ++h)
                bytes[int(random.bounded(int(bytes.size())))] = char(random.bounded(256));
            attempt(bytes);
        }
        for (int i = 0; i < 500 && !QTest::currentTestFailed(); ++i) {
            QByteArray noise(int(random.bounded(400)), '\0');
            for (char& c : noise)
                c = char(random.bounded(256));
            if (noise.size() > 6 && random.bounded(2))
                noise.replace(0, 6, QByteArray("\x7f" "ELF\x02\x01", 6));
            attempt(noise);
        }
        QVERIFY(refused > 0);
        QVERIFY(read > 0);
    }
};

QTEST_GUILESS_MAIN(TestVersionInfo)
#include "tst_versioninfo.moc"
