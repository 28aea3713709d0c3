#pragma once
// Main windows for tests: recording desktop services over a settings store of the
// test's own, with the browser control a test asks for.
#include "errordialog.h"
#include "mainwindow.h"
#include "named.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedbrowser.h"
#include "services.h"

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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

    QTemporaryDir dir;
    RecordingDialogs dialogs;
    RecordingShell shell;
    dv::RegistryStore registry;
    dv::Services services { dialogs, shell, registry };
    std::unique_ptr<MainWindow> form;
};

/// A main window whose browser control is scripted by the test.
struct ScriptedWindowFixture : WindowFixture {
    explicit ScriptedWindowFixture(AppParts parts = {}, const QString& registryPath = QString())
        : WindowFixture(registryPath)
    {
        if (parts.executablePath.isEmpty())
            parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.browserFactory = [this](QWidget* parent) {
            auto scripted = std::make_unique<ScriptedBrowser>(parent);
            browser = scripted.get();
            return scripted;
        };
        form = std::make_unique<MainWindow>(services, parts);
    }

    ScriptedBrowser* browser = nullptr;
};

} // namespace dv::test
