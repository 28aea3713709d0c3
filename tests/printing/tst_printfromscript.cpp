// The built program run from a script with no display: --print-all over the
// private CUPS scheduler, its exit statuses and standard error, PDF files, usage
// errors and --version; and under hostile conditions: no display without
// --print-all, a device or a pipe as --pdf, a scheduler that never answers, an
// empty list and an entry of a megabyte. Needs the private_cups fixture.
#include "privatecups.h"
#include "versioninfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
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
    // Variables given with an empty value are taken out.
    Run run(const QStringList& arguments, bool platformNamed = true, bool sandboxSwitchedOff = true,
        const QMap<QString, QString>& variables = {})
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
        for (auto it = variables.cbegin(); it != variables.cend(); ++it) {
            if (it.value().isEmpty())
                env.remove(it.key());
            else
                env.insert(it.key(), it.value());
        }
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

    // Cron without --print-all, or with it after "--", or X named with no X server:
    // one line and exit 2, where the application object used to abort.
    void noDisplay_saysSoInOneLineAndExitsTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM; empty: not set
        QTest::addColumn<QString>("line");
        QTest::newRow("no --print-all") << QStringList {QStringLiteral("page.html")} << QString()
                                        << QStringLiteral("dorvantis: There is no display to show the window on; "
                                                          "--print-all prints without one.");
        QTest::newRow("--print-all after --")
            << QStringList {QStringLiteral("--"), QStringLiteral("--print-all"), QStringLiteral("page.html")}
            << QString() << QStringLiteral("\"--print-all\" is a page to add, not an option");
        QTest::newRow("--print-all with X named and no X server")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("page.html")} << QStringLiteral("xcb")
            << QStringLiteral("dorvantis: There is no display for the platform \"xcb\" that QT_QPA_PLATFORM names");
    }

    void noDisplay_saysSoInOneLineAndExitsTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, platform);
        QFETCH(QString, line);
        Fixture f;
        // A display number nothing serves, for the variant that names X.
        const Run run = f.run(arguments, false, true,
            {{QStringLiteral("QT_QPA_PLATFORM"), platform},
                {QStringLiteral("DISPLAY"), platform.isEmpty() ? QString() : QStringLiteral(":97")}});
        QCOMPARE(run.exitCode, 2); // a normal exit: -1 would be the abort
        QVERIFY2(run.err.count(QLatin1Char('\n')) == 1 && run.err.contains(line), qPrintable(run.err));
        QVERIFY(!f.wroteSettings());
    }

    // "Throw the output away" with --pdf /dev/null must not replace the device.
    void pdfThatIsNoRegularFile_isRefusedAndLeftAsItWas_data()
    {
        QTest::addColumn<bool>("device"); // else a FIFO
        QTest::addColumn<QString>("reason");
        QTest::newRow("a device node") << true << QStringLiteral("it is a device, not a regular file");
        QTest::newRow("a FIFO") << false << QStringLiteral("it is a pipe, not a regular file");
    }

    void pdfThatIsNoRegularFile_isRefusedAndLeftAsItWas()
    {
        QFETCH(bool, device);
        QFETCH(QString, reason);
        Fixture f;
        const QString path = f.dir.filePath(QStringLiteral("sink"));
        const QByteArray native = QFile::encodeName(path);
        if (device && ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3)) != 0)
            QSKIP("cannot make a device node here (mknod needs root, and a file system that allows it)");
        if (!device)
            QVERIFY(::mkfifo(native.constData(), 0600) == 0);
        const Run run = f.run({QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0"),
            QStringLiteral("--pdf"), path, f.localPage(token())});

        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.err.contains(QStringLiteral("dorvantis: The PDF file \"%1\" cannot be written: ").arg(path))
                && run.err.contains(reason),
            qPrintable(run.err));
        struct stat status { };
        QCOMPARE(::lstat(native.constData(), &status), 0);
        QCOMPARE(status.st_mode & S_IFMT, mode_t(device ? S_IFCHR : S_IFIFO));
    }

    // A scheduler that accepts connections and never answers ends the run within
    // the bound of one exchange, for a printer by name and for the default one.
    void muteScheduler_endsTheRunWithinAMinute_data()
    {
        QTest::addColumn<QStringList>("destination");
        QTest::newRow("--to") << QStringList {QStringLiteral("--to"), QStringLiteral("capture")};
        QTest::newRow("the default printer") << QStringList();
    }

    void muteScheduler_endsTheRunWithinAMinute()
    {
        QFETCH(QStringList, destination);
        Fixture f;
        // The kernel completes the connections into the backlog; nothing ever reads them.
        QTcpServer mute;
        QVERIFY(mute.listen(QHostAddress::LocalHost, 0));
        const QString server = QStringLiteral("127.0.0.1:%1").arg(mute.serverPort());
        const QString page = f.localPage(token());
        QElapsedTimer clock;
        clock.start();
        const Run run
            = f.run(QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0")}
                    + destination + QStringList {page},
                true, true, {{QStringLiteral("CUPS_SERVER"), server}});

        QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(
            run.err.contains(QStringLiteral("dorvantis: The printing system at %1 does not answer.\n").arg(server)),
            qPrintable(run.err));
    }

    // A cron job whose list was emptied must not look fine for ever.
    void emptyList_exitsTwo_data()
    {
        QTest::addColumn<QByteArray>("list");
        QTest::newRow("an empty file") << QByteArray();
        QTest::newRow("only blank lines") << QByteArray("\r\n   \n\t\n");
    }

    void emptyList_exitsTwo()
    {
        QFETCH(QByteArray, list);
        Fixture f;
        QFile file(f.dir.filePath(QStringLiteral("empty.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(list);
        file.close();
        const Run run = f.run({QStringLiteral("--print-all"), QStringLiteral("--list"), file.fileName()});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.err, QStringLiteral("dorvantis: The list has no pages to print.\n"));
    }

    void entryOfAMegabyte_isShownShortened()
    {
        Fixture f;
        const QString entry = refusedAddress() + QStringLiteral("/") + QString(1024 * 1024, QLatin1Char('a'));
        const QString shown = entry.left(2000) + QChar(0x2026);
        const Run run = f.run({QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0"),
            QStringLiteral("--pdf-dir"), QStringLiteral("pdfs"), QStringLiteral("--list"), f.listFile({entry})});

        QCOMPARE(run.exitCode, 1);
        const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.contains(QStringLiteral("Page 1 of 1: ") + shown), qPrintable(run.err.left(300)));
        QVERIFY2(lines.contains(QStringLiteral("Navigate Error: ") + shown), qPrintable(run.err.left(300)));
        QVERIFY2(run.err.size() < 10000, qPrintable(QString::number(run.err.size())));
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
