// The built program run from a script with no display: --print-all over the
// private CUPS scheduler, its exit statuses and standard error, PDF files, usage
// errors and --version. Needs the private_cups fixture.
#include "privatecups.h"
#include "versioninfo.h"

#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using dv::test::PrivateCups;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

struct Fixture {
    // A local page showing marker.
    QString localPage(const QString& marker)
    {
        const QString path = dir.filePath(marker + QStringLiteral(".html"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("<!DOCTYPE html><html><head><title>" + marker.toUtf8() + "</title></head><body><h1>"
            + marker.toUtf8() + "</h1></body></html>");
        return path;
    }
    QString listFile(const QStringList& entries)
    {
        const QString path = dir.filePath(QStringLiteral("list.txt"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write((entries.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
        return path;
    }
    // The program with no display at all and settings of its own.
    Run run(const QStringList& arguments, bool platformNamed = true, bool sandboxSwitchedOff = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!sandboxSwitchedOff) {
            env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
            env.remove(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"));
        }
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (!platformNamed)
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        QDir().mkpath(dir.filePath(QStringLiteral("run")));
        QFile::setPermissions(
            dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(QStringLiteral(DV_EXECUTABLE_PATH), arguments);
        if (!process.waitForFinished(120000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
    bool wroteSettings() const { return QFileInfo::exists(dir.filePath(QStringLiteral("config"))); }

    QTemporaryDir dir;
    PrivateCups cups;
};

QString token()
{
    static int n = 0;
    return QStringLiteral("s%1x%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

QString refusedAddress()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1/refused").arg(probe.serverPort());
}

} // namespace

class TestPrintFromScript : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(PrivateCups().select(), "the private_cups fixture is not running"); }

    void printAll_listWithoutDisplay_exitsZeroWithOneJobPerEntry()
    {
        Fixture f;
        const QStringList entries {f.localPage(token()), f.localPage(token())};
        // Not even a platform named: the program needs no display for such a run.
        const Run run = f.run({QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0"),
                                  QStringLiteral("--list"), f.listFile(entries)},
            false);

        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QTRY_COMPARE_WITH_TIMEOUT(f.cups.jobsTitled(entries).size(), entries.size(), 30000);
        const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 5, qPrintable(run.err));
        QCOMPARE(lines,
            (QStringList {QStringLiteral("Page 1 of 2: ") + entries[0], QStringLiteral("Page 1 of 2: printed"),
                QStringLiteral("Page 2 of 2: ") + entries[1], QStringLiteral("Page 2 of 2: printed"),
                QStringLiteral("Successfully completed.")}));
        QVERIFY(!f.wroteSettings());
    }

    void printAll_oneEntryFails_exitsOneAndNamesItOnStandardError()
    {
        Fixture f;
        const QString refused = refusedAddress();
        const QStringList entries {f.localPage(token()), refused};
        const Run run = f.run(
            QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0")} + entries);

        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(QStringLiteral("Page 2 of 2: navigate error\n")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("Navigate Error: ") + refused), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("Completed with errors!")), qPrintable(run.err));
        QVERIFY(!f.wroteSettings());
    }

    void printAll_toPdfFolder_writesOneFilePerEntryAndNoJob()
    {
        Fixture f;
        const QString m1 = token(), m2 = token();
        const QStringList entries {f.localPage(m1), f.localPage(m2)};
        const Run run = f.run(QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay"),
                                  QStringLiteral("0"), QStringLiteral("--pdf-dir"), QStringLiteral("pdfs")}
            + entries);

        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        const QDir pdfs(f.dir.filePath(QStringLiteral("pdfs")));
        QCOMPARE(pdfs.entryList(QDir::Files | QDir::Hidden),
            (QStringList {QStringLiteral("001 - %1.pdf").arg(m1), QStringLiteral("002 - %1.pdf").arg(m2)}));
        QVERIFY(PrivateCups::pdfText(pdfs.filePath(QStringLiteral("002 - %1.pdf").arg(m2))).contains(m2));
        QVERIFY(f.cups.jobsTitled(entries).isEmpty());
    }

    void endsWithoutPrinting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("standardError"); // a line it holds
        QTest::newRow("unknown option") << QStringList {QStringLiteral("--print-all"), QStringLiteral("--bogus"),
            QStringLiteral("x.html")} << 2
                                        << QStringLiteral("Usage: dorvantis [options] [FILE_OR_URL...]");
        QTest::newRow("two destinations")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("--pdf=a.pdf"),
                   QStringLiteral("--to=capture"), QStringLiteral("x.html")}
            << 2 << QStringLiteral("dorvantis: Only one of --to, --pdf-dir and --pdf may be given.");
        QTest::newRow("nothing to print") << QStringList {QStringLiteral("--print-all")} << 2
                                          << QStringLiteral("Usage: dorvantis [options] [FILE_OR_URL...]");
        QTest::newRow("no such printer") << QStringList {QStringLiteral("--print-all"), QStringLiteral("--to"),
            QStringLiteral("nowhere"), QStringLiteral("x.html")}
                                         << 2 << QStringLiteral("dorvantis: There is no printer \"nowhere\".");
        QTest::newRow("list file missing")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("--list"), QStringLiteral("missing.txt")} << 2
            << QStringLiteral("missing.txt");
    }

    void endsWithoutPrinting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, standardError);
        Fixture f;
        const Run run = f.run(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(standardError), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("Page 1 of")), qPrintable(run.err));
        QVERIFY(!f.wroteSettings());
    }

    void printAll_asRootWithTheSandbox_saysWhyAndPrintsNothing()
    {
        if (::getuid() != 0)
            QSKIP("the engine refuses only root");
        Fixture f;
        const QString page = f.localPage(token());
        const Run run = f.run({QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0"), page},
            true, false);

        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("dorvantis: Dorvantis cannot run as root")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1")), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("Page 1 of")), qPrintable(run.err));
        QVERIFY(f.cups.jobsTitled({page}).isEmpty());
        QVERIFY(!f.wroteSettings());
    }

    void version_comesFromTheVersionResource()
    {
        ExeVersionData data;
        readExeVersionData(QStringLiteral(DV_EXECUTABLE_PATH), data);
        const QString version = formatVersion(readFileVersion(QStringLiteral(DV_EXECUTABLE_PATH)));
        Fixture f;
        const Run run = f.run({QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(
            run.out.startsWith(data.ProductName + QLatin1Char(' ') + version + QLatin1Char('\n')), qPrintable(run.out));
    }
};

QTEST_GUILESS_MAIN(TestPrintFromScript)

#include "tst_printfromscript.moc"
