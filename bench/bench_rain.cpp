// How much processor time the about box's letter rain takes: the drawing of one
// tick alone, and the whole open box (drawing plus repainting its margin) running
// at its 20 ticks a second. The target is under 5% of one core.
#include "aboutbox.h"
#include "dialogs.h"
#include "identity.h"
#include "rain.h"
#include "registry.h"
#include "services.h"
#include "shell.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Microseconds of this thread's processor time per RainStep for a box of size.
double stepMicroseconds(QSize outerSize, int ticks)
{
    dv::about::Rain rain(42);
    rain.RainStart(outerSize, outerSize);
    for (int i = 0; i < 50; ++i) // let Qt cache the glyphs first
        rain.RainStep();
    const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    for (int i = 0; i < ticks; ++i)
        rain.RainStep();
    return (cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start) / ticks * 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    AppProduct = QStringLiteral("Dorvantis");
    AppVersion = QStringLiteral("2.8");

    constexpr double tickBudgetUs = 0.05 * 50'000; // 5% of a 50 ms tick
    std::printf("rain drawing per tick (thread CPU time, 2000 ticks):\n");
    const struct {
        const char* name;
        QSize size;
    } sizes[] = {{"box at 96 dpi (452x399, 112 drops)", {452, 399}},
        {"box at 192 dpi (904x798, 226 drops)", {904, 798}},
        {"table limit, 2600 columns (5000 drops)", {2600 * 8, 400}}};
    for (const auto& s : sizes) {
        const double us = stepMicroseconds(s.size, 2000);
        std::printf("  %-38s %8.1f us/tick  = %5.2f%% of one core at 20 ticks/s\n", s.name, us,
            us / 50'000.0 * 100.0);
    }
    std::printf("  budget for 5%%: %.0f us/tick\n", tickBudgetUs);

    // The whole box, shown, with its own timer: drawing, repaint and event handling.
    QTemporaryDir home;
    dv::QtDialogs dialogs;
    dv::DesktopShell shell;
    dv::RegistryStore registry(home.filePath(QStringLiteral("registry.json")));
    dv::Services services{dialogs, shell, registry};
    auto* box = new AboutBox(services, QCoreApplication::applicationDirPath());
    box->show();
    QEventLoop settle;
    QTimer::singleShot(500, &settle, &QEventLoop::quit);
    settle.exec();

    const int ticksBefore = box->rain().RainTick;
    const double cpuStart = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    QElapsedTimer wall;
    wall.start();
    QEventLoop run;
    QTimer::singleShot(5000, &run, &QEventLoop::quit);
    run.exec();
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
    const double seconds = double(wall.elapsed()) / 1000.0;
    const int ticks = box->rain().RainTick - ticksBefore;
    std::printf("open about box, %s platform, %.1f s:\n", qPrintable(QGuiApplication::platformName()), seconds);
    std::printf("  %d ticks (%.1f per second), process CPU %.3f s = %.2f%% of one core, %.1f us per tick\n", ticks,
        ticks / seconds, cpu, cpu / seconds * 100.0, ticks ? cpu / ticks * 1e6 : 0.0);
    delete box;
    return 0;
}
