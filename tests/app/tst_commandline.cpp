// Reading the command line: entries, the list file, --print-all and its delay and
// destination, and the usage errors that end the program with status 2; and, from
// the environment it starts in, whether the engine's sandbox would refuse the user
// and whether there is a display for the platform Qt would pick.
#include "commandline.h"
#include "displaycheck.h"
#include "enginesandbox.h"

#include <QDir>
#include <QtTest>

using Kind = dv::PrintDestination::Kind;

Q_DECLARE_METATYPE(dv::PrintDestination)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("listFile");
        QTest::addColumn<bool>("printAll");
        QTest::addColumn<qint64>("delay"); // -1: not given
        QTest::addColumn<dv::PrintDestination>("destination"); // default printer: not given
        QTest::addColumn<int>("jobs"); // 0: not given
        const QString cwd = QDir::currentPath();
        QTest::newRow("files from a file manager")
            << QStringList {QStringLiteral("/a b.html"), QStringLiteral("http://x/y")}
            << QStringList {QStringLiteral("/a b.html"), QStringLiteral("http://x/y")} << QString() << false
            << qint64(-1) << dv::PrintDestination {} << 0;
        QTest::newRow("a run to a printer") << QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay"),
            QStringLiteral("0"), QStringLiteral("--to"), QStringLiteral("office/duplex"), QStringLiteral("--list"),
            QStringLiteral("l.txt")} << QStringList()
                                            << QStringLiteral("l.txt") << true << qint64(0)
                                            << dv::PrintDestination {Kind::Printer, QStringLiteral("office/duplex")} << 0;
        QTest::newRow("a PDF folder, relative to the working folder")
            << QStringList {QStringLiteral("--pdf-dir=out"), QStringLiteral("--print-all"), QStringLiteral("a.html")}
            << QStringList {QStringLiteral("a.html")} << QString() << true << qint64(-1)
            << dv::PrintDestination {Kind::PdfFolder, cwd + QStringLiteral("/out")} << 0;
        QTest::newRow("one PDF, options after the entries")
            << QStringList {QStringLiteral("a.html"), QStringLiteral("--print-all"), QStringLiteral("--pdf"),
                   QStringLiteral("/r/run.pdf")}
            << QStringList {QStringLiteral("a.html")} << QString() << true << qint64(-1)
            << dv::PrintDestination {Kind::PdfFile, QStringLiteral("/r/run.pdf")} << 0;
        QTest::newRow("pages at once, largest")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("--jobs"), QStringLiteral("16"),
                   QStringLiteral("a.html")}
            << QStringList {QStringLiteral("a.html")} << QString() << true << qint64(-1) << dv::PrintDestination {}
            << 16;
        QTest::newRow("one page at a time")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("--jobs=1"), QStringLiteral("a.html")}
            << QStringList {QStringLiteral("a.html")} << QString() << true << qint64(-1) << dv::PrintDestination {}
            << 1;
        QTest::newRow("an entry that looks like an option, after --")
            << QStringList {QStringLiteral("--"), QStringLiteral("--print-all")}
            << QStringList {QStringLiteral("--print-all")} << QString() << false << qint64(-1)
            << dv::PrintDestination {} << 0;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, entries);
        QFETCH(QString, listFile);
        QFETCH(bool, printAll);
        QFETCH(qint64, delay);
        QFETCH(dv::PrintDestination, destination);
        QFETCH(int, jobs);
        QString error;
        const std::optional<dv::CommandLineRequest> request
            = dv::parseCommandLine(QStringList {QStringLiteral("dorvantis")} + arguments, &error);
        QVERIFY2(request, qPrintable(error));
        QCOMPARE(request->entries, entries);
        QCOMPARE(request->listFile, listFile);
        QCOMPARE(request->printAll, printAll);
        QCOMPARE(request->delaySeconds.value_or(-1), delay);
        QCOMPARE(request->destination.value_or(dv::PrintDestination {}), destination);
        QCOMPARE(request->pagesAtOnce.value_or(0), jobs);
    }

    void parse_usageError_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option") << QStringList {QStringLiteral("--bogus")}
                                        << QStringLiteral("Unknown option 'bogus'.");
        QTest::newRow("option without its value")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("a.html"), QStringLiteral("--to")}
            << QStringLiteral("Missing value after '--to'.");
        QTest::newRow("two destinations") << QStringList {QStringLiteral("--print-all"), QStringLiteral("--to=p"),
            QStringLiteral("--pdf-dir=d"), QStringLiteral("a.html")}
                                          << QStringLiteral("Only one of --to, --pdf-dir and --pdf may be given.");
        QTest::newRow("empty printer") << QStringList {QStringLiteral("--print-all"), QStringLiteral("--to="),
            QStringLiteral("a.html")} << QStringLiteral("--to needs a value that is not empty.");
        for (const QString& delay : {QStringLiteral("-1"), QStringLiteral("2.5"), QStringLiteral("1000000000")})
            QTest::addRow("delay %s", qPrintable(delay))
                << QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay"), delay, QStringLiteral("a")}
                << QStringLiteral("--delay takes whole seconds from 0 to 999999999, not \"%1\".").arg(delay);
        for (const QString& jobs : {QStringLiteral("0"), QStringLiteral("17"), QStringLiteral("two"), QStringLiteral("-2")})
            QTest::addRow("jobs %s", qPrintable(jobs))
                << QStringList {QStringLiteral("--print-all"), QStringLiteral("--jobs"), jobs, QStringLiteral("a")}
                << QStringLiteral("--jobs takes a whole number of pages from 1 to 16, not \"%1\".").arg(jobs);
        QTest::newRow("a run of nothing")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("--delay=0")}
            << QStringLiteral("--print-all needs --list FILE or at least one FILE_OR_URL.");
    }

    void parse_usageError()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QString said;
        QVERIFY(!dv::parseCommandLine(QStringList {QStringLiteral("dorvantis")} + arguments, &said));
        QCOMPARE(said, error);
    }

    void engineSandboxRefusal_data()
    {
        QTest::addColumn<uint>("userId");
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<bool>("refused");
        QTest::newRow("an ordinary user") << 1000u << QStringList() << false;
        QTest::newRow("root") << 0u << QStringList {QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu")}
                              << true;
        QTest::newRow("root, sandbox switched off")
            << 0u << QStringList {QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1")} << false;
        QTest::newRow("root, switched off by an empty value")
            << 0u << QStringList {QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=")} << false;
        QTest::newRow("root, the engine's own switch")
            << 0u << QStringList {QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu  --no-sandbox")} << false;
        QTest::newRow("root, the switch with one dash")
            << 0u << QStringList {QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=-no-sandbox")} << false;
        QTest::newRow("root, a longer flag is not the switch")
            << 0u << QStringList {QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=--no-sandboxing no-sandbox")} << true;
    }

    void engineSandboxRefusal()
    {
        QFETCH(uint, userId);
        QFETCH(QStringList, environment);
        QFETCH(bool, refused);
        QProcessEnvironment env;
        for (const QString& variable : environment)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        const std::optional<QString> refusal = dv::engineSandboxRefusal(userId, env);
        QCOMPARE(refusal.has_value(), refused);
        if (refusal)
            QVERIFY2(refusal->contains(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX=1")), qPrintable(*refusal));
    }

    void missingDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after the program's name
        QTest::addColumn<QStringList>("environment"); // NAME=value
        QTest::addColumn<QStringList>("answering"); // platforms whose display answers
        QTest::addColumn<QString>("said"); // empty: the program starts
        const QString noWindow = QStringLiteral("There is no display to show the window on; --print-all prints "
                                                "without one.");
        const QStringList xcb {QStringLiteral("xcb")};
        QTest::newRow("X answers") << QStringList {QStringLiteral("a.html")} << QStringList() << xcb << QString();
        QTest::newRow("nothing answers") << QStringList {QStringLiteral("a.html")} << QStringList() << QStringList()
                                         << noWindow;
        QTest::newRow("a Wayland session") << QStringList() << QStringList {QStringLiteral("XDG_SESSION_TYPE=wayland")}
                                           << QStringList {QStringLiteral("wayland")} << QString();
        QTest::newRow("Wayland answers, but Qt picks X outside a Wayland session")
            << QStringList() << QStringList() << QStringList {QStringLiteral("wayland")} << noWindow;
        QTest::newRow("--print-all after --")
            << QStringList {QStringLiteral("--"), QStringLiteral("--print-all"), QStringLiteral("a.html")}
            << QStringList() << QStringList()
            << QStringLiteral("There is no display to show the window on (after \"--\", \"--print-all\" is a page to "
                              "add, not an option); --print-all prints without one.");
        QTest::newRow("a platform that needs no display")
            << QStringList() << QStringList {QStringLiteral("QT_QPA_PLATFORM=offscreen")} << QStringList() << QString();
        QTest::newRow("the second of a list answers")
            << QStringList() << QStringList {QStringLiteral("QT_QPA_PLATFORM=wayland;xcb:nomitshm")} << xcb
            << QString();
        QTest::newRow("Qt's option wins over the variable")
            << QStringList {QStringLiteral("-platform"), QStringLiteral("xcb")}
            << QStringList {QStringLiteral("QT_QPA_PLATFORM=offscreen")} << QStringList() << noWindow;
        QTest::newRow("--print-all, X named and silent")
            << QStringList {QStringLiteral("--print-all"), QStringLiteral("a.html")}
            << QStringList {QStringLiteral("QT_QPA_PLATFORM=xcb")} << QStringList()
            << QStringLiteral("There is no display for the platform \"xcb\" that QT_QPA_PLATFORM names; --print-all "
                              "prints without one when no platform is named.");
    }

    void missingDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, environment);
        QFETCH(QStringList, answering);
        QFETCH(QString, said);
        QProcessEnvironment env;
        for (const QString& variable : environment)
            env.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
        const bool printAll
            = arguments.indexOf(QStringLiteral("--print-all")) >= 0 && !arguments.contains(QStringLiteral("--"));
        const std::optional<QString> missing = dv::missingDisplay(QStringList {QStringLiteral("dorvantis")} + arguments,
            env, printAll, [&answering](const QByteArray& platform, const QByteArray&) {
                return answering.contains(QString::fromLatin1(platform)) || platform == "offscreen";
            });
        QCOMPARE(missing.value_or(QString()), said);
    }

    void asksForPrintAll_looksOnlyBeforeTheEndOfOptions()
    {
        auto asks = [](std::initializer_list<const char*> arguments) {
            QList<QByteArray> storage;
            QList<char*> argv;
            for (const char* a : arguments)
                storage << QByteArray(a);
            for (QByteArray& a : storage)
                argv << a.data();
            return dv::asksForPrintAll(int(argv.size()), argv.data());
        };
        QVERIFY(asks({"dorvantis", "a.html", "--print-all"}));
        QVERIFY(!asks({"dorvantis", "--", "--print-all"}));
        QVERIFY(!asks({"dorvantis", "a.html"}));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)

#include "tst_commandline.moc"
