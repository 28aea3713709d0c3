#pragma once
// What the print benchmarks share: the engine's environment and a private CUPS
// scheduler, resident memory from /proc, and desktop services that answer at once
// so a run never waits for a person.
#include "pagesource.h"
#include "dialogs.h"
#include "registry.h"
#include "shell.h"
#include "webenginebrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace dv::bench
{

/// Sets up this process to run the engine headless on loopback only, and starts a
/// private CUPS scheduler in work/cups as its default printing system. Call before
/// the QApplication exists. Returns false, having said why, when CUPS did not start.
inline bool prepareEngineAndCups(const QTemporaryDir& work, const char* benchName)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1"); // the engine's sandbox refuses root
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv(
            "QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-background-networking --disable-component-update");
    qputenv("DORVANTIS_WEB_HOST", "127.0.0.1:9"); // the update check stays on loopback

    QProcess start;
    start.start(QStringLiteral(DV_SOURCE_DIR "/scripts/private-cups"),
        { QStringLiteral("start"), work.filePath(QStringLiteral("cups")) });
    if (!start.waitForFinished(60000) || start.exitCode() != 0) {
        std::fprintf(stderr, "%s: the private CUPS scheduler did not start: %s\n", benchName,
            start.readAllStandardError().constData());
        return false;
    }
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    qputenv("CUPS_SERVER", start.readAllStandardOutput().trimmed());
    qputenv("XDG_CONFIG_HOME", work.filePath(QStringLiteral("config")).toUtf8());
    return true;
}

/// Stops the scheduler prepareEngineAndCups() started.
inline void stopCups(const QTemporaryDir& work)
{
    QProcess::execute(QStringLiteral(DV_SOURCE_DIR "/scripts/private-cups"),
        { QStringLiteral("stop"), work.filePath(QStringLiteral("cups")) });
}

/// Core-seconds the whole machine has spent busy since boot (all processes: this
/// one, the engine's helpers, the CUPS scheduler and its backends), from /proc/stat.
inline double machineBusySeconds()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // cpu  user nice system idle iowait irq softirq steal ...; steal is time the
    // host gave to others, not work done here.
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    qint64 busy = 0;
    for (int i : { 1, 2, 3, 6, 7 })
        busy += fields.value(i).toLongLong();
    return double(busy) / double(sysconf(_SC_CLK_TCK));
}

/// Resident memory in kB of one process.
inline qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

/// Resident memory in kB of the engine's helpers, which descend from this process
/// (some through a zygote).
inline qint64 descendantsResidentKb()
{
    QHash<qint64, qint64> parentOf;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        parentOf.insert(pid.toLongLong(), fields.value(1).toLongLong());
    }
    const qint64 self = QCoreApplication::applicationPid();
    qint64 total = 0;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        qint64 up = it.value();
        for (int depth = 0; up > 1 && up != self && depth < 16; ++depth)
            up = parentOf.value(up);
        if (up == self && it.key() != self)
            total += residentKb(it.key());
    }
    return total;
}

/// The real engine, watched: each page's load and render are timed, and a
/// benchmark hears of each page rendered.
class ObservedBrowser : public dv::WebEngineBrowser
{
public:
    ObservedBrowser(QWidget* parent, dv::RegistryStore& registry)
        : dv::WebEngineBrowser(parent, &registry)
    {
        connect(this, &dv::PageSource::rendered, this, [this](int page, const dv::RenderedPage&) {
            ++rendered;
            renderSeconds += renderClocks_.value(page).nsecsElapsed() / 1e9;
            samplesMs << loadClocks_.value(page).nsecsElapsed() / 1e6;
            if (onRendered)
                onRendered(rendered);
        });
    }
    void load(int page, const QString& address) override
    {
        loadClocks_[page].start();
        dv::WebEngineBrowser::load(page, address);
    }
    void render(int page) override
    {
        renderClocks_[page].start();
        dv::WebEngineBrowser::render(page);
    }

    int rendered = 0;
    // Time from render() to the page on sheets, summed over the pages.
    double renderSeconds = 0;
    // Milliseconds from each page's load() to its page on sheets.
    QList<double> samplesMs;
    std::function<void(int rendered)> onRendered;

private:
    QHash<int, QElapsedTimer> loadClocks_;
    QHash<int, QElapsedTimer> renderClocks_;
};

/// Answers every dialog at once, keeping the last message.
class SilentDialogs : public dv::Dialogs
{
public:
    void messageBox(QWidget*, const QString& text, const QString&, int) override { lastMessage = text; }
    bool askYesNo(QWidget*, const QString&) override { return false; }
    void beep() override { }
    QStringList getOpenFileNames(QWidget*, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString getSaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString lastMessage;
};

class NoShell : public dv::Shell
{
public:
    bool openUrl(const QString&) override { return false; }
    bool openTextFile(const QString&) override { return false; }
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

} // namespace dv::bench
