// Prints N generated local pages (default 100) with delay 0 through the main
// window's "Print All", the real browser engine and a private CUPS scheduler of
// its own, and reports pages per second, the median time per page and resident
// memory after page 10 and after page N. Pages print with their header and footer,
// as by default, unless --no-header-footer switches them off in the page setup.
//
//   bench_print [N] [--no-header-footer]
#include "benchsupport.h"
#include "generatedpage.h"
#include "mainwindow.h"
#include "named.h"
#include "dialogs.h"
#include "pagelistbox.h"
#include "pagesetup.h"
#include "registry.h"
#include "services.h"
#include "shell.h"
#include "webenginebrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using dv::test::named;


namespace
{

using dv::bench::descendantsResidentKb;
using dv::bench::NoShell;
using dv::bench::ObservedBrowser;
using dv::bench::residentKb;
using dv::bench::SilentDialogs;

// Captured jobs whose printed text shows the page their name says was sent.
int jobsWithTheirOwnText(const QString& cupsDir, const QStringList& entries)
{
    int matching = 0;
    const QDir capture(cupsDir + QStringLiteral("/capture"));
    for (const QString& name : capture.entryList({ QStringLiteral("job-*.pdf") }, QDir::Files)) {
        QFile titleFile(capture.filePath(name.chopped(4) + QStringLiteral(".title")));
        if (!titleFile.open(QIODevice::ReadOnly))
            continue;
        const int page = entries.indexOf(QString::fromUtf8(titleFile.readAll()).trimmed()) + 1;
        QProcess text;
        text.start(QStringLiteral("pdftotext"), { capture.filePath(name), QStringLiteral("-") });
        text.waitForFinished(30000);
        const QRegularExpression heading(QStringLiteral("\\bPage %1\\b").arg(page));
        if (page > 0 && heading.match(QString::fromUtf8(text.readAllStandardOutput())).hasMatch())
            ++matching;
    }
    return matching;
}

int capturedJobs(const QString& cupsDir)
{
    return QDir(cupsDir + QStringLiteral("/capture")).entryList({ QStringLiteral("job-*.pdf") }, QDir::Files).size();
}

} // namespace

int main(int argc, char* argv[])
{
    int pages = 100;
    bool headerFooter = true;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--no-header-footer") == 0)
            headerFooter = false;
        else
            pages = std::max(1, atoi(argv[i]));
    }
    QTemporaryDir work;
    if (!dv::bench::prepareEngineAndCups(work, "bench_print"))
        return 1;
    const QString cupsDir = work.filePath(QStringLiteral("cups"));

    QStringList entries;
    for (int i = 1; i <= pages; ++i) {
        const QString path = dv::bench::writeGeneratedPage(QDir(work.path()), i);
        entries << path;
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    SilentDialogs dialogs;
    NoShell shell;
    dv::RegistryStore registry(work.filePath(QStringLiteral("registry.json")));
    dv::Services services { dialogs, shell, registry };
    ObservedBrowser* browser = nullptr;
    qint64 rss10Kb = 0;
    qint64 children10Kb = 0;
    AppParts parts;
    if (!headerFooter) {
        const dv::PageSetup defaults = dv::defaultPageSetup();
        dv::PageSetup setup = defaults;
        setup.headerFooter = false;
        dv::savePageSetup(registry, setup, defaults);
    }
    parts.pageSourceFactory = [&browser, &registry, &rss10Kb, &children10Kb](QWidget* parent) {
        auto b = std::make_unique<ObservedBrowser>(parent, registry);
        b->onRendered = [&rss10Kb, &children10Kb](int rendered) {
            if (rendered == 10) {
                rss10Kb = residentKb(QCoreApplication::applicationPid());
                children10Kb = descendantsResidentKb();
            }
        };
        browser = b.get();
        return b;
    };
    int status = 0;
    {
        MainWindow form(services, parts);
        form.show();
        named<QSpinBox>(form, "delaySpin")->setValue(0);
        named<PageListBox>(form, "pageList")->appendMany(entries);

        QElapsedTimer total;
        total.start();
        form.printAll();
        while (form.isCommandRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = total.nsecsElapsed() / 1e9;
        const qint64 rssNKb = residentKb(QCoreApplication::applicationPid());
        const qint64 childrenNKb = descendantsResidentKb();

        QList<double> sorted = browser->samplesMs;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted.isEmpty() ? 0.0
            : sorted.size() % 2                ? sorted[sorted.size() / 2]
                                               : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
        QElapsedTimer settle;
        settle.start();
        while (capturedJobs(cupsDir) < pages && settle.elapsed() < 30000)
            QThread::msleep(100);

        std::printf("header and footer:             %s\n", headerFooter ? "on" : "off");
        std::printf("pages printed:                 %lld (jobs captured by CUPS: %d)\n",
            static_cast<long long>(browser->samplesMs.size()), capturedJobs(cupsDir));
        std::printf("jobs showing their own page:   %d\n", jobsWithTheirOwnText(cupsDir, entries));
        std::printf("closing message:               %s\n", qPrintable(dialogs.lastMessage));
        std::printf("pages per second:              %.2f\n", pages / seconds);
        std::printf("median ms per page:            %.1f\n", median);
        std::printf("resident memory after page 10: %.1f MB (engine helper processes: %.1f MB)\n",
            rss10Kb / 1024.0, children10Kb / 1024.0);
        std::printf("resident memory after page %d: %.1f MB (engine helper processes: %.1f MB)\n", pages,
            rssNKb / 1024.0, childrenNKb / 1024.0);
        std::printf("growth from page 10 to page %d: %.1f MB (with helpers: %.1f MB)\n", pages,
            (rssNKb - rss10Kb) / 1024.0,
            (rssNKb + childrenNKb - rss10Kb - children10Kb) / 1024.0);
        if (browser->samplesMs.size() != pages)
            status = 1;
    }
    dv::bench::stopCups(work);
    return status;
}
