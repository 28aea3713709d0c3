// Print All one page at a time and with several pages side by side (--jobs N,
// default 4), one after the other in one process, through the main window, the real
// engine and a private CUPS scheduler of its own. Each series runs one at a time
// first, then overlapped, and reports both figures and their ratio:
//   - M loopback URLs (default 50) whose server answers each after 800 ms, delay 1:
//     wall time of the run;
//   - N generated local pages (default 100) with text, a table and a picture,
//     delay 0: seconds per page; with --list FILE, the first N entries of that list
//     file instead (the peers' pages, say, or pages saved from the web);
//   - with --memory P, P local pages (e.g. 1000), delay 0: resident memory growth
//     (program plus engine helpers) from page 10 to page P.
// Each mode's line also says how many cores the machine kept busy on average, and
// the local pages series the CPU time a page costs: loading ahead cannot take less
// than that time divided by the cores, however well it overlaps.
//
// A process's first run grows more than a later one; --only one|overlapped runs one
// mode alone, so memory can be compared between two fresh processes.
//
//   bench_overlap [--urls M] [--pages N] [--list FILE] [--memory P] [--jobs N] [--only one|overlapped]
#include "benchsupport.h"
#include "destination.h"
#include "runengine.h"
#include "dialogs.h"
#include "errors.h"
#include "generatedpage.h"
#include "listfile.h"
#include "mainwindow.h"
#include "named.h"
#include "pagelistbox.h"
#include "pageserver.h"
#include "registry.h"
#include "services.h"
#include "shell.h"
#include "webenginebrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using dv::test::named;

namespace
{

using dv::bench::NoShell;
using dv::bench::ObservedBrowser;
using dv::bench::residentKb;
using dv::bench::SilentDialogs;

// This process and the engine's helpers.
qint64 totalResidentKb()
{
    return residentKb(QCoreApplication::applicationPid()) + dv::bench::descendantsResidentKb();
}


int capturedJobs(const QString& cupsDir)
{
    return QDir(cupsDir + QStringLiteral("/capture")).entryList({ QStringLiteral("job-*.pdf") }, QDir::Files).size();
}

struct RunFigures {
    double seconds = 0;
    // Core-seconds the whole machine was busy during the run.
    double busySeconds = 0;
    double printSeconds = 0;
    int printed = 0;
    int pagesAtOnce = 1;
    qint64 growthKb = 0;
    QString closing;
};

struct Bench {
    QTemporaryDir& work;
    QString cupsDir;
    int expectedJobs = 0;
    int run = 0;

    RunFigures printAll(const QStringList& entries, int delay, int pagesAtOnce)
    {
        SilentDialogs dialogs;
        NoShell shell;
        dv::RegistryStore registry(work.filePath(QStringLiteral("registry%1.json").arg(++run)));
        registry.setValue(QStringLiteral("Software\\KELMARO\\Dorvantis\\Printing"), QStringLiteral("Overlap"),
            dv::RegValue::dword(pagesAtOnce > 1 ? 1 : 0));
        dv::savePagesAtOnce(registry, pagesAtOnce);
        dv::Services services { dialogs, shell, registry };
        ObservedBrowser* browser = nullptr;
        qint64 memory10Kb = 0;
        AppParts parts;
        parts.pageSourceFactory = [&browser, &registry, &memory10Kb](QWidget* parent) {
            auto b = std::make_unique<ObservedBrowser>(parent, registry);
            b->onRendered = [&memory10Kb](int rendered) {
                if (rendered == 10)
                    memory10Kb = totalResidentKb();
            };
            browser = b.get();
            return b;
        };
        RunFigures figures;
        figures.pagesAtOnce = pagesAtOnce;
        {
            MainWindow form(services, parts);
            form.show();
            named<QSpinBox>(form, "delaySpin")->setValue(delay);
            named<PageListBox>(form, "pageList")->appendMany(entries);
            QElapsedTimer total;
            const double busyBefore = dv::bench::machineBusySeconds();
            total.start();
            form.printAll();
            while (form.isCommandRunning())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            figures.seconds = total.nsecsElapsed() / 1e9;
            figures.busySeconds = dv::bench::machineBusySeconds() - busyBefore;
            figures.printed = browser->rendered;
            figures.printSeconds = browser->renderSeconds;
            figures.growthKb = totalResidentKb() - memory10Kb;
            figures.closing = dialogs.lastMessage;
        }
        // The scheduler's backlog must not slow the next series down.
        expectedJobs += figures.printed;
        QElapsedTimer settle;
        settle.start();
        while (capturedJobs(cupsDir) < expectedJobs && settle.elapsed() < 60000)
            QThread::msleep(100);
        return figures;
    }
};

QStringList localPages(QTemporaryDir& work, const QString& prefix, int count)
{
    QStringList entries;
    for (int i = 1; i <= count; ++i)
        entries << dv::bench::writeGeneratedPage(QDir(work.path()), i, prefix, true);
    return entries;
}

void report(const char* what, const RunFigures& one, const RunFigures& overlapped, double oneFigure,
    double overlappedFigure, const char* unit)
{
    const int cores = QThread::idealThreadCount();
    auto busyCores = [](const RunFigures& run) { return run.seconds > 0 ? run.busySeconds / run.seconds : 0.0; };
    std::printf("%s\n", what);
    std::printf("  one at a time: %8.3f %s  (%d printed, %.1f s of it in print, %.2f of %d cores busy, %s)\n",
        oneFigure, unit, one.printed, one.printSeconds, busyCores(one), cores, qPrintable(one.closing.simplified()));
    std::printf("  %2d at once:    %8.3f %s  (%d printed, %.1f s of it in print, %.2f of %d cores busy, %s)\n",
        overlapped.pagesAtOnce, overlappedFigure, unit, overlapped.printed, overlapped.printSeconds, busyCores(overlapped), cores,
        qPrintable(overlapped.closing.simplified()));
    std::printf("  ratio:         %8.3f\n", oneFigure > 0 ? overlappedFigure / oneFigure : 0.0);
    std::fflush(stdout);
}

// What a page costs the machine in CPU time, and the shortest time per page that
// CPU time allows loading ahead on this machine's cores.
void reportCpu(const RunFigures& one, const RunFigures& overlapped, int pages)
{
    const int cores = QThread::idealThreadCount();
    const double oneCpu = one.busySeconds / pages;
    const double overlappedCpu = overlapped.busySeconds / pages;
    const double floor = overlappedCpu / cores;
    std::printf("  CPU time per page, whole machine: one at a time %.3f s, %d at once %.3f s\n", oneCpu,
        overlapped.pagesAtOnce, overlappedCpu);
    std::printf("  side by side can take no less than %.3f s/page on %d cores (ratio %.3f)\n", floor, cores,
        one.seconds > 0 ? floor / (one.seconds / pages) : 0.0);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    int urls = 50;
    int pages = 100;
    int memoryPages = 0;
    int jobs = 4;
    QByteArray only;
    QString listFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (qstrcmp(argv[i], "--urls") == 0)
            urls = std::max(0, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--pages") == 0)
            pages = std::max(0, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--memory") == 0)
            memoryPages = std::max(0, atoi(argv[i + 1]));
        else if (qstrcmp(argv[i], "--jobs") == 0)
            jobs = std::clamp(atoi(argv[i + 1]), 1, dv::MaxPagesAtOnce);
        else if (qstrcmp(argv[i], "--only") == 0)
            only = argv[i + 1];
        else if (qstrcmp(argv[i], "--list") == 0)
            listFile = QString::fromLocal8Bit(argv[i + 1]);
    }
    // Read first: a list that cannot be read should not cost a whole series.
    QStringList listed;
    if (!listFile.isEmpty() && pages > 0) {
        try {
            listed = dv::loadListFile(listFile).mid(0, pages);
        } catch (const dv::AppError& e) {
            std::fprintf(stderr, "%s\n", qPrintable(e.message()));
            return 2;
        }
        if (listed.isEmpty()) {
            std::fprintf(stderr, "%s lists no entries\n", qPrintable(listFile));
            return 2;
        }
        pages = int(listed.size());
    }
    QTemporaryDir work;
    if (!dv::bench::prepareEngineAndCups(work, "bench_overlap"))
        return 1;
    const QString cupsDir = work.filePath(QStringLiteral("cups"));

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Bench bench { work, cupsDir };
    int status = 0;
    if (urls > 0) {
        dv::test::PageServer server;
        server.slowPageMs = 800;
        QStringList entries;
        for (int i = 1; i <= urls; ++i)
            entries << server.url(QStringLiteral("/slow/Page-%1").arg(i));
        const RunFigures one = bench.printAll(entries, 1, 1);
        const RunFigures overlapped = bench.printAll(entries, 1, jobs);
        report(qPrintable(QStringLiteral("%1 loopback URLs answered after 800 ms, delay 1: wall time").arg(urls)), one,
            overlapped, one.seconds, overlapped.seconds, "s");
        if (one.printed != urls || overlapped.printed != urls)
            status = 1;
    }
    if (pages > 0) {
        const QStringList entries = listFile.isEmpty() ? localPages(work, QStringLiteral("local"), pages) : listed;
        const RunFigures one = bench.printAll(entries, 0, 1);
        const RunFigures overlapped = bench.printAll(entries, 0, jobs);
        const QString what = listFile.isEmpty() ? QStringLiteral("%1 local pages").arg(pages)
                                                : QStringLiteral("%1 entries of %2").arg(pages).arg(listFile);
        report(qPrintable(what + QStringLiteral(", delay 0: seconds per page")), one, overlapped,
            one.seconds / pages, overlapped.seconds / pages, "s/page");
        reportCpu(one, overlapped, pages);
        if (one.printed != pages || overlapped.printed != pages)
            status = 1;
    }
    if (memoryPages > 10 && !only.isEmpty()) {
        const QStringList entries = localPages(work, QStringLiteral("memory"), memoryPages);
        const RunFigures run = bench.printAll(entries, 0, only == "overlapped" ? jobs : 1);
        std::printf("resident memory growth, page 10 to page %d (program and engine helpers), %s alone: %.1f MB "
                    "(%d printed, %.3f s/page)\n",
            memoryPages, only.constData(), run.growthKb / 1024.0, run.printed, run.seconds / memoryPages);
        if (run.printed != memoryPages)
            status = 1;
    } else if (memoryPages > 10) {
        const QStringList entries = localPages(work, QStringLiteral("memory"), memoryPages);
        const RunFigures one = bench.printAll(entries, 0, 1);
        const RunFigures overlapped = bench.printAll(entries, 0, jobs);
        report(qPrintable(QStringLiteral("resident memory growth, page 10 to page %1 (program and engine helpers)")
                              .arg(memoryPages)),
            one, overlapped, one.growthKb / 1024.0, overlapped.growthKb / 1024.0, "MB");
        std::printf("  difference:    %8.1f MB\n", (overlapped.growthKb - one.growthKb) / 1024.0);
        if (one.printed != memoryPages || overlapped.printed != memoryPages)
            status = 1;
    }
    std::printf("jobs captured by CUPS: %d of %d\n", capturedJobs(cupsDir), bench.expectedJobs);
    dv::bench::stopCups(work);
    return status;
}
