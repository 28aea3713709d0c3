// Runs `dorvantis --print-all --delay 0 --list L` over N generated local pages
// (default 100) as a script would, with no display, against a private CUPS
// scheduler of its own, and reports the whole process from start to exit:
// seconds in all, seconds per page, and the jobs the scheduler captured.
//
//   bench_cli [N]
#include "generatedpage.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

int capturedJobs(const QString& cupsDir)
{
    return QDir(cupsDir + QStringLiteral("/capture")).entryList({QStringLiteral("job-*.pdf")}, QDir::Files).size();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 100;

    QTemporaryDir work;
    const QString cupsDir = work.filePath(QStringLiteral("cups"));
    const QString script = QStringLiteral(DV_SOURCE_DIR "/scripts/private-cups");
    QProcess start;
    start.start(script, {QStringLiteral("start"), cupsDir});
    if (!start.waitForFinished(60000) || start.exitCode() != 0) {
        std::fprintf(stderr, "bench_cli: the private CUPS scheduler did not start: %s\n",
            start.readAllStandardError().constData());
        return 1;
    }
    const QByteArray server = start.readAllStandardOutput().trimmed();

    QFile list(work.filePath(QStringLiteral("list.txt")));
    list.open(QIODevice::WriteOnly);
    QTextStream listOut(&list);
    for (int i = 1; i <= pages; ++i) {
        const QString path = dv::bench::writeGeneratedPage(QDir(work.path()), i);
        listOut << path << "\r\n";
    }
    listOut.flush();
    list.close();

    // As cron would start it: no display, settings of its own, only this scheduler.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "PRINTER", "LPDEST"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("CUPS_SERVER"), QString::fromUtf8(server));
    env.insert(QStringLiteral("HOME"), work.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("run")));
    QDir().mkpath(work.filePath(QStringLiteral("run")));
    QFile::setPermissions(work.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("DORVANTIS_WEB_HOST"), QStringLiteral("127.0.0.1:9"));
    if (geteuid() == 0)
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1")); // the sandbox refuses root
    if (!env.contains(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS")))
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
            QStringLiteral("--disable-gpu --disable-background-networking --disable-component-update"));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.setStandardErrorFile(work.filePath(QStringLiteral("stderr.txt")));
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(DV_EXECUTABLE_PATH),
        {QStringLiteral("--print-all"), QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("--list"),
            list.fileName()});
    program.waitForFinished(-1);
    const double seconds = clock.nsecsElapsed() / 1e9;

    // The last jobs may still be on their way from the scheduler to its printer.
    QElapsedTimer settle;
    settle.start();
    while (capturedJobs(cupsDir) < pages && settle.elapsed() < 60000)
        QThread::msleep(100);
    int printedLines = 0;
    QFile err(work.filePath(QStringLiteral("stderr.txt")));
    if (err.open(QIODevice::ReadOnly))
        for (const QByteArray& line : err.readAll().split('\n'))
            printedLines += line.endsWith(": printed") ? 1 : 0;

    std::printf("pages:                     %d\n", pages);
    std::printf("exit status:               %d\n", program.exitCode());
    std::printf("pages reported printed:    %d (jobs captured by CUPS: %d)\n", printedLines, capturedJobs(cupsDir));
    std::printf("whole process, start-exit: %.2f s\n", seconds);
    std::printf("seconds per page:          %.4f\n", seconds / pages);
    std::printf("pages per second:          %.2f\n", pages / seconds);

    QProcess::execute(script, {QStringLiteral("stop"), cupsDir});
    return program.exitCode() == 0 ? 0 : 1;
}
