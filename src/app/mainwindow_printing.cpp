// The browser pane and the print and preview commands of the main window.
#include "mainwindow.h"

#include "destination.h"
#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "pagelistbox.h"
#include "pagesource.h"
#include "pdfpreview.h"
#include "printinglog.h"
#include "printrun.h"
#include "runengine.h"
#include "runoutput.h"
#include "services.h"
#include "webenginebrowser.h"

#include <QLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <exception>

void MainWindow::connectPrintingHandlers()
{
    using dv::guarded;
    connect(printAllButton_, &QPushButton::clicked, this, guarded([this] { printAll(); }));
    connect(printPreviewButton_, &QPushButton::clicked, this, guarded([this] { previewCurrent(); }));
    // The menu items do what their buttons do, and nothing while the buttons are off.
    connect(printAllAction_, &QAction::triggered, this, guarded([this] {
        if (printAllButton_->isEnabled())
            printAllButton_->click();
    }));
    connect(printPreviewAction_, &QAction::triggered, this, guarded([this] {
        if (printPreviewButton_->isEnabled())
            printPreviewButton_->click();
    }));
    runProgress_->setFormat(QStringLiteral("Page %v of %m"));
    runProgress_->setTextVisible(true);
    previewLoadBound_ = new QTimer(this);
    previewLoadBound_->setObjectName(QStringLiteral("previewLoadBound"));
    previewLoadBound_->setSingleShot(true);
    connect(previewLoadBound_, &QTimer::timeout, this, guarded([this] {
        // Given up: what the page shows so far is previewed.
        pageSource_->stopLoading(0);
        logNavigateError(previewEntry_);
        previewLoaded();
    }));
}

void MainWindow::createPageSource()
{
    pageSource_ = parts_.pageSourceFactory ? parts_.pageSourceFactory(browserTab_)
                                           : std::make_unique<dv::WebEngineBrowser>(browserTab_, &services_.registry);
    QWidget* view = pageSource_->widget();
    view->setParent(browserTab_);
    browserTab_->layout()->addWidget(view);
    // Outside a run (a double-click, a preview) the window counts what fails itself.
    connect(pageSource_.get(), &dv::PageSource::navigateError, this, [this](int, const QString& url) {
        if (!run_ || !run_->running())
            dv::guarded([this, &url] { logNavigateError(url); })();
    });
}

void MainWindow::logNavigateError(const QString& url)
{
    logEntryError(dv::errorLogLine(dv::EntryFailure::NavigateError, url));
}

void MainWindow::logEntryError(const QString& line)
{
    ++navigateErrorCount_;
    const int logTab = listTabs_->indexOf(errorLogTab_);
    if (!listTabs_->isTabVisible(logTab)) {
        // Showing a tab may make it current when it is the only visible one; the
        // user stays where they are.
        QWidget* current = listTabs_->currentWidget();
        listTabs_->setTabVisible(logTab, true);
        listTabs_->setCurrentWidget(current);
    }
    errorLog_->appendPlainText(dv::shownEntryLine(line));
}

void MainWindow::endDelayNow()
{
    if (run_)
        run_->endDelayNow();
}

bool MainWindow::deferCloseWhileBusy()
{
    if (!commandRunning_)
        return false;
    closeAfterCommand_ = true;
    return true;
}

void MainWindow::finishDeferredClose()
{
    if (!closeAfterCommand_)
        return;
    closeAfterCommand_ = false;
    close();
}

QString MainWindow::pageEntry(qint64 index) const
{
    // The list may have been shortened during a wait.
    if (index < 0 || index >= pageList_->count())
        throw dv::AppError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return pageList_->entryAt(static_cast<int>(index));
}

void MainWindow::showRunProgress(qint64 index)
{
    runProgress_->setRange(0, pageList_->count());
    runProgress_->setValue(static_cast<int>(index + 1));
    runProgress_->show();
}

void MainWindow::printAll()
{
    if (commandRunning_) {
        services_.dialogs.beep();
        return;
    }
    commandRunning_ = true;
    navigateErrorCount_ = 0;
    run_.reset();
    runOutput_ = parts_.outputFactory ? parts_.outputFactory(destination_.chosen) : dv::makeRunOutput(destination_.chosen);
    dv::RunEntries entries { [this] { return qint64(pageList_->count()); },
        [this](qint64 position) { return pageEntry(position); } };
    dv::RunSettings settings;
    settings.delaySeconds = [this] { return dv::delaySecondsFromText(delaySpin_->cleanText()); };
    // Loading ahead switched off in the settings store holds whatever the field says.
    settings.pagesAtOnce = dv::overlapEnabled(services_.registry) ? pagesAtOnceSpin_->value() : 1;
    settings.loadTimeoutMs = parts_.loadTimeoutMs;
    run_ = std::make_unique<dv::RunEngine>(*pageSource_, *runOutput_, std::move(entries), std::move(settings), this);
    using dv::guarded;
    connect(run_.get(), &dv::RunEngine::entryStarted, this, [this](qint64 position, const QString& address) {
        showRunProgress(position);
        setStatusText(QStringLiteral("Navigating: ") + address);
    });
    connect(run_.get(), &dv::RunEngine::entryFailed, this,
        [this](qint64, dv::EntryFailure kind, const QString& subject) { onEntryFailed(kind, subject); });
    connect(run_.get(), &dv::RunEngine::entryPrinting, this, [this](qint64, const QString& address) {
        printingEntry_ = address;
        setStatusText(QStringLiteral("Printing: ") + address);
    });
    connect(run_.get(), &dv::RunEngine::entryDone, this,
        [this](qint64, const dv::EntryResult&) { setStatusText(QStringLiteral("Completed: ") + printingEntry_); });
    connect(run_.get(), &dv::RunEngine::finished, this,
        [this](const dv::RunSummary& summary) { guarded([this, &summary] { onRunFinished(summary); })(); });
    run_->start();
}

void MainWindow::onEntryFailed(dv::EntryFailure kind, const QString& subject)
{
    logEntryError(dv::errorLogLine(kind, subject));
}

void MainWindow::onRunFinished(const dv::RunSummary& summary)
{
    endCommand();
    if (summary.error) {
        dv::showDefaultError(summary.error);
        finishDeferredClose();
        return;
    }
    setStatusText(QStringLiteral("Completed!"));
    services_.dialogs.beep();
    if (navigateErrorCount_ != 0)
        services_.dialogs.messageBox(this, QStringLiteral("Completed with errors!\rPlease check Error Log."),
            QStringLiteral("COMPLETE"), dv::MB_ICONWARNING);
    else
        services_.dialogs.messageBox(
            this, QStringLiteral("Successfully completed."), QStringLiteral("COMPLETE"), dv::MB_ICONINFORMATION);
    finishDeferredClose();
}

void MainWindow::endCommand()
{
    commandRunning_ = false;
    runProgress_->hide();
}

void MainWindow::previewCurrent()
{
    if (commandRunning_) {
        services_.dialogs.beep();
        return;
    }
    if (pageList_->count() == 0) {
        services_.dialogs.beep();
        return;
    }
    // The caret entry; a list nobody has clicked yet has its caret on the first one.
    const qint64 index = std::max(pageList_->currentRow(), 0);
    previewEntry_ = pageEntry(index);
    commandRunning_ = true;
    previewConnections_ << connect(pageSource_.get(), &dv::PageSource::loaded, this, [this](int page) {
        if (page == 0)
            dv::guarded([this] { previewLoaded(); })();
    });
    try {
        pageSource_->load(0, previewEntry_);
        pageSource_->show(0);
        if (parts_.loadTimeoutMs >= 0)
            previewLoadBound_->start(dv::nextTimerLegMs(parts_.loadTimeoutMs));
    } catch (...) {
        endPreview(std::current_exception());
    }
}

void MainWindow::previewLoaded()
{
    previewLoadBound_->stop();
    for (const auto& connection : std::as_const(previewConnections_))
        disconnect(connection);
    previewConnections_.clear();
    previewConnections_ << connect(pageSource_.get(), &dv::PageSource::rendered, this,
        [this](int page, const dv::RenderedPage& printed) {
            if (page == 0)
                previewRendered(printed);
        });
    previewConnections_ << connect(pageSource_.get(), &dv::PageSource::renderFailed, this,
        [this](int page, const QString& message, bool wholeRun) {
            if (page != 0)
                return;
            endPreview(wholeRun ? std::make_exception_ptr(dv::AppError(message))
                                : std::make_exception_ptr(dv::PagePrintError(message)));
        });
    pageSource_->render(0);
}

void MainWindow::previewRendered(const dv::RenderedPage& page)
{
    std::exception_ptr failure;
    try {
        // Exactly what Print All would send; printing from the preview sends it to the
        // default printer as is.
        const auto print = [&page] { dv::makeRunOutput({})->deliver({ page.address, page.title, page.pdf }); };
        if (parts_.previewer)
            parts_.previewer(page, print);
        else
            dv::previewPdf(page.pdf, page.address, this, print);
    } catch (...) {
        failure = std::current_exception();
    }
    endPreview(failure);
}

void MainWindow::endPreview(std::exception_ptr failure)
{
    previewLoadBound_->stop();
    for (const auto& connection : std::as_const(previewConnections_))
        disconnect(connection);
    previewConnections_.clear();
    endCommand();
    if (failure)
        dv::showDefaultError(failure);
    finishDeferredClose();
}
