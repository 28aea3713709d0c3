// The hostile-page gauntlet: runs over lists of pages that misbehave in every way we
// know of, interleaved with plain pages, in the window and on the command line. Each
// run must end with its closing message, and each entry must have either one job that
// shows its own page or exactly one Error Log line, as its kind says.
// Real engine, private CUPS; needs the private_cups fixture. With DV_SOAK=1 the full
// matrix runs (scripts/run-soak runs each row in a process of its own).
#include "destination.h"
#include "enginefixture.h"
#include "pageserver.h"
#include "webenginebrowser.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <csignal>
#include <sys/types.h>

using dv::test::EngineFixture;
using dv::test::named;
using dv::test::PageServer;
using dv::test::PrivateCups;

namespace
{

// What an entry must come to.
enum class Outcome {
    Own, // one job showing the entry's marker, nothing logged
    OwnAndLogged, // one job showing the entry's marker, and one Error Log line
    JobAndLogged, // one job (the engine's error page), and one Error Log line
    LoggedOnly, // no job, one Error Log line
    OwnOrLogged, // either of Own and LoggedOnly: a page that hangs may still print first
};

struct Entry {
    QString kind;
    QString address;
    QString marker; // what its page shows; empty where it shows nothing of its own
    Outcome outcome;
};

// A marker no other marker contains, so a job showing the wrong page is seen; no
// two runs share one.
QString marker(int n)
{
    static int run = 0;
    if (n == 1)
        ++run;
    return QStringLiteral("mk%1r%2q%3z")
        .arg(QCoreApplication::applicationPid())
        .arg(run)
        .arg(n, 4, 10, QLatin1Char('0'));
}

bool soak()
{
    return qEnvironmentVariableIntValue("DV_SOAK") == 1;
}

// Bounds short enough that hung pages cost seconds, and long enough that a big
// page renders on a busy machine.
constexpr int renderBoundMs = 10000;
constexpr int loadBoundMs = 8000;

struct Gauntlet {
    Gauntlet(EngineFixture& f, PageServer& server, PageServer& tlsServer)
    {
        int n = 0;
        auto add = [&](const QString& kind, const QString& address, const QString& shows, Outcome outcome) {
            entries << Entry { kind, address, shows, outcome };
        };
        auto served = [&](const QString& kind, const QString& path, Outcome outcome = Outcome::Own) {
            const QString m = marker(++n);
            add(kind, server.url(path.arg(m)), m, outcome);
        };
        auto hostile = [&](const QString& kind, Outcome outcome = Outcome::Own) {
            served(kind, QStringLiteral("/hostile/") + kind + QStringLiteral("/%1"), outcome);
        };
        for (const char* kind : { "print", "beforeunload", "popups", "navigate-during", "navigate-after", "refresh",
                 "refresh-late", "reload", "download-during", "download-after", "download-frame", "close",
                 "close-during", "permissions", "late", "history", "huge" })
            hostile(QLatin1String(kind));
        // Printed, then it never yields again: its process must not take the later
        // pages of its site along.
        hostile(QStringLiteral("hang-after-print"));
        served(QStringLiteral("dialogs"), QStringLiteral("/dialogs/%1"));
        served(QStringLiteral("redirect"), QStringLiteral("/redirect/%1"));
        served(QStringLiteral("404"), QStringLiteral("/missing/%1"), Outcome::OwnAndLogged);
        served(QStringLiteral("500"), QStringLiteral("/error/%1"), Outcome::OwnAndLogged);
        // The document came, and its load never ends: it prints as it stands.
        served(QStringLiteral("endless"), QStringLiteral("/endless/%1"), Outcome::OwnAndLogged);
        served(QStringLiteral("partial"), QStringLiteral("/partial/%1"), Outcome::OwnAndLogged);
        // A script that never yields: the page is given up when it will not render.
        served(QStringLiteral("hung renderer"), QStringLiteral("/loop/%1"), Outcome::OwnOrLogged);
        // Killed by the run below once it has loaded.
        served(QStringLiteral("crashed renderer"), QStringLiteral("/page/%1"), Outcome::LoggedOnly);
        crashEntry = entries.last().address;
        add(QStringLiteral("attachment"), server.url(QStringLiteral("/download")), QString(), Outcome::LoggedOnly);
        add(QStringLiteral("never answers"), server.url(QStringLiteral("/hang")), QString(), Outcome::LoggedOnly);
        add(QStringLiteral("redirect loop"), server.url(QStringLiteral("/redirect-loop")), QString(),
            Outcome::JobAndLogged);
        add(QStringLiteral("login"), server.url(QStringLiteral("/auth")), QString(), Outcome::JobAndLogged);
        add(QStringLiteral("refused port"),
            QStringLiteral("http://127.0.0.1:%1/refused").arg(dv::test::refusedPort()), QString(),
            Outcome::JobAndLogged);
        add(QStringLiteral("bad certificate"), tlsServer.url(QStringLiteral("/page/") + marker(++n)), QString(),
            Outcome::JobAndLogged);
        {
            const QString m = marker(++n);
            add(QStringLiteral("data URL"), QStringLiteral("data:text/html,<h1>%1</h1>").arg(m), m, Outcome::Own);
        }
        add(QStringLiteral("blank"), QStringLiteral("about:blank"), QString(), Outcome::Own);
        add(QStringLiteral("script"), QStringLiteral("javascript:document.title='ran'"), QString(),
            Outcome::LoggedOnly);
        {
            const QString m = marker(++n);
            const QString folder = f.dir.filePath(m);
            QDir().mkpath(folder);
            add(QStringLiteral("folder"), folder, m, Outcome::Own);
        }
        add(QStringLiteral("missing file"), f.dir.filePath(QStringLiteral("no such file.html")), QString(),
            Outcome::JobAndLogged);
        {
            const QString binary = f.dir.filePath(QStringLiteral("data.bin"));
            QFile file(binary);
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray("\x00\x01\x02\xff\xfe PK", 8).repeated(2000));
            add(QStringLiteral("binary file"), binary, QString(), Outcome::LoggedOnly);
        }
        {
            // Its stylesheet and picture come late from the web.
            const QString m = marker(++n);
            const QString path = f.pageWithRemoteParts(m, server.url("/slow.css"), server.url("/pic.png"));
            add(QStringLiteral("slow stylesheet"), path, m, Outcome::Own);
            styledEntry = path;
        }
        hostileCount = int(entries.size());
    }

    // Shuffled by a fixed seed, a plain page after each hostile one.
    void arrange(EngineFixture& f, quint32 seed)
    {
        QRandomGenerator random(seed);
        std::shuffle(entries.begin(), entries.end(), random);
        QList<Entry> interleaved;
        for (const Entry& entry : std::as_const(entries)) {
            interleaved << entry;
            const QString m = marker(1000 + int(interleaved.size()));
            interleaved << Entry { QStringLiteral("control"), f.localPage(m), m, Outcome::Own };
        }
        entries = interleaved;
    }

    QStringList addresses() const
    {
        QStringList out;
        for (const Entry& entry : entries)
            out << entry.address;
        return out;
    }

    QList<Entry> entries;
    QString crashEntry;
    QString styledEntry;
    int hostileCount = 0;
};

// What is wrong with the run's outcome, entry by entry; empty when nothing is.
QString checkOutcome(const Gauntlet& gauntlet, const QList<PrivateCups::Job>& jobs, const QStringList& log)
{
    QStringList problems;
    QStringList markers;
    for (const Entry& entry : gauntlet.entries)
        markers << entry.marker;
    QString kindBefore;
    for (const Entry& entry : gauntlet.entries) {
        const QString kind = entry.kind == QStringLiteral("control") ? QStringLiteral("control after ") + kindBefore
                                                                     : entry.kind;
        kindBefore = entry.kind;
        QList<PrivateCups::Job> own;
        for (const auto& job : jobs)
            if (job.title == entry.address)
                own << job;
        // A line names the entry as written, or the engine's form of its address.
        const QString engineForm = dv::WebEngineBrowser::urlForAddress(entry.address).toString();
        const qsizetype lines = std::count_if(log.begin(), log.end(), [&](const QString& line) {
            return line.endsWith(QStringLiteral(": ") + entry.address) || line.endsWith(QStringLiteral(": ") + engineForm);
        });
        const bool wantsJob = entry.outcome == Outcome::OwnOrLogged ? lines == 0 : entry.outcome != Outcome::LoggedOnly;
        const qsizetype wantsLines
            = entry.outcome == Outcome::Own || (entry.outcome == Outcome::OwnOrLogged && !own.isEmpty()) ? 0 : 1;
        if (own.size() != (wantsJob ? 1 : 0) || lines != wantsLines) {
            problems << QStringLiteral("%1 (%2): %3 jobs, %4 log lines")
                            .arg(kind, entry.address.left(120))
                            .arg(own.size())
                            .arg(lines);
            for (const QString& line : log)
                if (line.endsWith(entry.address) || line.endsWith(engineForm))
                    problems << QStringLiteral("  logged: ") + line.left(200);
            continue;
        }
        if (own.isEmpty())
            continue;
        const QString text = PrivateCups::pdfText(own[0].pdfPath);
        const bool ownMarker = entry.outcome == Outcome::JobAndLogged || entry.marker.isEmpty()
            || text.contains(entry.marker);
        if (!ownMarker)
            problems << kind + QStringLiteral(" does not show its own page: ") + text.left(300);
        for (const QString& other : markers)
            if (!other.isEmpty() && other != entry.marker && text.contains(other))
                problems << kind + QStringLiteral(" shows another entry's page: ") + other;
    }
    return problems.join(QLatin1Char('\n'));
}

QProcessEnvironment programEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CUPS_SERVER"), PrivateCups().server());
    env.remove(QStringLiteral("PRINTER"));
    env.remove(QStringLiteral("LPDEST"));
    return env;
}

} // namespace

class TestGauntlet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(!PrivateCups().server().isEmpty(), "the private_cups fixture is not running"); }

    // The whole gauntlet in the window, one page at a time and several side by side,
    // with and without a delay, in fixed shuffled orders. The short form runs three.
    void windowRun_everyEntryPrintsItsOwnPageOrIsLoggedOnce_data()
    {
        QTest::addColumn<int>("pagesAtOnce");
        QTest::addColumn<int>("delay");
        QTest::addColumn<quint32>("seed");
        const QList<quint32> seeds { 11, 2027, 90001 };
        for (int pages : { 4, 2, 1 })
            for (int delay : { 0, 1 })
                for (quint32 seed : seeds) {
                    const bool shortForm = (pages == 4 && delay == 0 && seed == seeds[0])
                        || (pages == 1 && delay == 1 && seed == seeds[1])
                        || (pages == 2 && delay == 0 && seed == seeds[2]);
                    if (!soak() && !shortForm)
                        continue;
                    QTest::addRow("%d at once delay %d order %u", pages, delay, seed) << pages << delay << seed;
                }
    }
    void windowRun_everyEntryPrintsItsOwnPageOrIsLoggedOnce()
    {
        QFETCH(int, pagesAtOnce);
        QFETCH(int, delay);
        QFETCH(quint32, seed);
        EngineFixture f(loadBoundMs, dv::test::renderBoundParts(renderBoundMs));
        named<QSpinBox>(*f.form, "pagesAtOnceSpin")->setValue(pagesAtOnce);
        named<QSpinBox>(*f.form, "delaySpin")->setValue(delay);
        PageServer server;
        server.slowCssMs = 4000;
        QTemporaryDir tlsDir;
        PageServer tlsServer(dv::test::selfSignedTls(tlsDir));
        Gauntlet gauntlet(f, server, tlsServer);
        QVERIFY(gauntlet.hostileCount >= 30);
        gauntlet.arrange(f, seed);
        const QStringList addresses = gauntlet.addresses();
        f.setPages(addresses);
        // Jobs of earlier runs with the same titles (about:blank, say) are not this run's.
        int lastJobBefore = 0;
        for (const auto& job : f.cups.jobsTitled(addresses))
            lastJobBefore = std::max(lastJobBefore, job.id);

        // The crash entry's render process is killed the moment its page has loaded.
        auto* views = f.form->findChild<QStackedWidget*>(QStringLiteral("browserStack"));
        QVERIFY(views);
        bool killed = false;
        auto killCrashEntry = [&] {
            if (killed)
                return;
            QWebEnginePage* page = qobject_cast<QWebEngineView*>(views->currentWidget())->page();
            if (page->isLoading() || page->url() != dv::WebEngineBrowser::urlForAddress(gauntlet.crashEntry))
                return;
            const qint64 pid = page->renderProcessPid();
            if (pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0)
                killed = true;
        };
        // Loaded ahead, it is killed as its turn shows it; loaded in its turn, as its
        // load ends.
        connect(views, &QStackedWidget::currentChanged, this, killCrashEntry);
        connect(f.form->pageSource(), &dv::PageSource::loaded, this, killCrashEntry);
        f.printAll();
        QVERIFY(killed);

        QCOMPARE(f.dialogs.messages.size(), 1);
        QCOMPARE(f.dialogs.messages[0].text, QStringLiteral("Completed with errors!\rPlease check Error Log."));
        QCOMPARE(f.form->statusText(), QStringLiteral("Completed!"));
        const QStringList log = f.logLines();
        QCOMPARE(f.form->navigateErrorCount(), qint64(log.size()));
        // Every entry not logged printed, and the ones that hang may have.
        qsizetype printable = 0;
        for (const Entry& entry : gauntlet.entries)
            printable += entry.outcome == Outcome::LoggedOnly || entry.outcome == Outcome::OwnOrLogged ? 0 : 1;
        QList<PrivateCups::Job> jobs;
        auto thisRunsJobs = [&] {
            jobs = f.cups.jobsTitled(addresses);
            jobs.removeIf([&](const PrivateCups::Job& job) { return job.id <= lastJobBefore; });
            return jobs.size() >= printable;
        };
        (void)QTest::qWaitFor(thisRunsJobs, 30000);
        QTest::qWait(500);
        thisRunsJobs();
        const QString problems = checkOutcome(gauntlet, jobs, log);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        // Jobs reach the printer in list order.
        QStringList order;
        for (const auto& job : jobs)
            order << job.title;
        QStringList expectedOrder;
        for (const Entry& entry : gauntlet.entries)
            if (std::any_of(jobs.begin(), jobs.end(), [&](const auto& job) { return job.title == entry.address; }))
                expectedOrder << entry.address;
        QCOMPARE(order, expectedOrder);
        // The stylesheet that came late took effect.
        for (const auto& job : jobs)
            if (job.title == gauntlet.styledEntry)
                QVERIFY(PrivateCups::pdfText(job.pdfPath).contains(QStringLiteral("STYLED-BY-CSS")));
    }

    // A local page whose stylesheet and picture take longer than any page should
    // still prints with them once they came, loaded ahead and shown.
    void windowRun_lateStylesheetAndPicture_printWithTheirEffect()
    {
        EngineFixture f;
        PageServer server;
        server.slowCssMs = 12000;
        server.slowPicMs = 15000;
        const QString before = marker(1), styled = marker(2), after = marker(3);
        const QString path = f.pageWithRemoteParts(styled, server.url("/slow.css"), server.url("/slow-pic.png"));
        const QStringList entries { f.localPage(before), path, f.localPage(after) };
        f.setPages(entries);
        f.printAll();

        const QList<PrivateCups::Job> jobs = f.jobsFor(entries);
        QCOMPARE(EngineFixture::titles(jobs), entries);
        const QString text = PrivateCups::pdfText(jobs[1].pdfPath);
        QVERIFY2(text.contains(styled + QStringLiteral(" STYLED-BY-CSS")), qPrintable(text));
        QVERIFY(server.paths.contains("/slow-pic.png"));
        QVERIFY(f.logLines().isEmpty());
    }

    // A response that sends its page and never ends is given up at the load bound and
    // logged; the page it brought is still kept in a PDF folder, as it stands.
    void pdfFolder_responseThatNeverEnds_keepsThePageItBrought()
    {
        EngineFixture f(3000);
        PageServer server;
        QTemporaryDir out;
        f.form->setPrintDestination({ dv::PrintDestination::Kind::PdfFolder, out.path() });
        const QString first = marker(1), endless = marker(2), last = marker(3);
        const QString endlessUrl = server.url(QStringLiteral("/endless/") + endless);
        const QString hang = server.url(QStringLiteral("/hang"));
        f.setPages({ f.localPage(first), endlessUrl, hang, f.localPage(last) });
        f.printAll();

        QCOMPARE(f.logLines(),
            (QStringList { QStringLiteral("Navigate Error: ") + endlessUrl, QStringLiteral("Navigate Error: ") + hang }));
        const QStringList files = QDir(out.path()).entryList({ QStringLiteral("*.pdf") }, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        const QStringList shows { first, endless, last };
        const QStringList positions { QStringLiteral("001 "), QStringLiteral("002 "), QStringLiteral("004 ") };
        for (int i = 0; i < files.size(); ++i) {
            QVERIFY2(files[i].startsWith(positions[i]), qPrintable(files[i]));
            QVERIFY(PrivateCups::pdfText(QDir(out.path()).filePath(files[i])).contains(shows[i]));
        }
    }

    // A page loaded ahead whose load ended as a download, then shown: the run goes
    // on, the attachment is logged once, and every other entry is a file of its own.
    void commandLine_attachmentLoadedAhead_isLoggedAndTheRunGoesOn_data()
    {
        QTest::addColumn<int>("run");
        for (int run = 1; run <= (soak() ? 20 : 3); ++run)
            QTest::addRow("run %d", run) << run;
    }
    void commandLine_attachmentLoadedAhead_isLoggedAndTheRunGoesOn()
    {
        PageServer server;
        QTemporaryDir dir;
        const QString attachment = server.url(QStringLiteral("/download"));
        const QStringList entries { QStringLiteral("data:text/html,<h1>x</h1>"), QStringLiteral("about:blank"),
            attachment, server.url(QStringLiteral("/page/b")) };
        QProcess program;
        program.setProcessEnvironment(programEnvironment());
        program.start(QStringLiteral(DV_EXECUTABLE_PATH),
            QStringList { QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("1"),
                QStringLiteral("--pdf-dir"), dir.path() }
                + entries);
        // The server answers on this thread's event loop.
        QVERIFY(QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning; }, 120000));
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == 1, qPrintable(errors));
        QCOMPARE(errors.count(QStringLiteral("Navigate Error: ")), 1);
        QVERIFY(errors.contains(QStringLiteral("Navigate Error: ") + attachment + QLatin1Char('\n')));
        const QStringList files = QDir(dir.path()).entryList({ QStringLiteral("*.pdf") }, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 3);
        QVERIFY(files[0].startsWith(QStringLiteral("001 ")));
        QVERIFY(files[1].startsWith(QStringLiteral("002 ")));
        QVERIFY(files[2].startsWith(QStringLiteral("004 ")));
    }
};

int main(int argc, char* argv[])
{
    PrivateCups().select();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestGauntlet test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gauntlet.moc"
