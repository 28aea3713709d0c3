#pragma once
// Main windows for tests: recording desktop services over a settings store of the
// test's own, with the browser control a test asks for.
#include "errordialog.h"
#include "mainwindow.h"
#include "named.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <memory>

namespace dv::test
{

/// The services and settings store a window is made over; the window itself is
/// made by the fixture built on this one.
struct WindowFixture {
    /// registryPath: the settings store's file, which may outlive the fixture; by
    /// default one in dir.
    explicit WindowFixture(const QString& registryPath = QString())
        : registry(registryPath.isEmpty() ? dir.filePath(QStringLiteral("registry.json")) : registryPath)
    {
        dv::installErrorDialogs(&dialogs);
    }
    ~WindowFixture()
    {
        // What the window reports while closing still reaches the recording dialogs.
        form.reset();
        dv::installErrorDialogs(nullptr);
    }
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    void setPages(const QStringList& pages)
    {
        named<PageListBox>(*form, "pageList")->clear();
        named<PageListBox>(*form, "pageList")->appendMany(pages);
    }
    QStringList logLines() const
    {
        const QString text = named<QPlainTextEdit>(*form, "errorLog")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    /// Clicks "Print All" as a person would, and waits for the run to end (a run
    /// that a message box or error ends included).
    void printAll(int timeoutMs = 600000)
    {
        form->printAll();
        QVERIFY2(waitForCommandEnd(timeoutMs), "the run did not end");
    }
    /// Starts "Print Preview" and waits for it to end.
    void previewCurrent(int timeoutMs = 600000)
    {
        form->previewCurrent();
        QVERIFY2(waitForCommandEnd(timeoutMs), "the preview did not end");
    }
    /// Runs the event loop until the command under way has ended. A real event loop,
    /// not polling with sleeps: the engine's own work rides on it, and sleeps
    /// between its turns would slow every page down.
    bool waitForCommandEnd(int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (form->isCommandRunning() && !deadline.hasExpired()) {
            QEventLoop loop;
            QTimer look;
            QObject::connect(&look, &QTimer::timeout, &loop, [&] {
                if (!form->isCommandRunning() || deadline.hasExpired())
                    loop.quit();
            });
            look.start(5);
            // Told to quit, the application makes every new event loop return at once.
            if (loop.exec() == -1)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return !form->isCommandRunning();
    }

    QTemporaryDir dir;
    RecordingDialogs dialogs;
    RecordingShell shell;
    dv::RegistryStore registry;
    dv::Services services { dialogs, shell, registry };
    std::unique_ptr<MainWindow> form;
};

/// A main window whose page source is scripted by the test, and whose runs hand
/// their pages to a recording output (unless the test asks for the real ones).
struct ScriptedWindowFixture : WindowFixture {
    explicit ScriptedWindowFixture(AppParts parts = {}, const QString& registryPath = QString(), bool realOutputs = false)
        : WindowFixture(registryPath)
    {
        if (parts.executablePath.isEmpty())
            parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.pageSourceFactory = [this](QWidget* parent) {
            auto scripted = std::make_unique<ScriptedPageSource>(parent);
            browser = scripted.get();
            return scripted;
        };
        if (!realOutputs && !parts.outputFactory)
            parts.outputFactory = [this](const dv::PrintDestination&) {
                auto recording = std::make_unique<RecordingOutput>();
                output = recording.get();
                return recording;
            };
        if (!parts.previewer)
            parts.previewer = [this](const dv::RenderedPage& page, const std::function<void()>&) {
                if (onPreview)
                    onPreview(page.address);
                previewed << page.address;
            };
        form = std::make_unique<MainWindow>(services, parts);
    }

    ScriptedPageSource* browser = nullptr;
    /// The output of the last run.
    RecordingOutput* output = nullptr;
    /// Pages previewed, and a hook run as each is.
    QStringList previewed;
    std::function<void(const QString& address)> onPreview;
};

} // namespace dv::test
