// The browser host and the print and preview commands of the main window.
#include "mainwindow.h"

#include "browsercontrol.h"
#include "destination.h"
#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "pagelistbox.h"
#include "printinglog.h"
#include "printrun.h"
#include "services.h"
#include "webenginebrowser.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace
{

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

// The time in milliseconds rounded up, where nowMs() rounds down: a delay counted
// from it is never the fraction of a millisecond short.
qint64 nowMsRoundedUp()
{
    return (QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs() + 999'999) / 1'000'000;
}

} // namespace

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
    connect(delayTimer_, &QTimer::timeout, this, guarded([this] {
        advanceDelay();
        if (waitLoop_)
            waitLoop_->quit();
    }));
    runProgress_->setFormat(QStringLiteral("Page %v of %m"));
    runProgress_->setTextVisible(true);
}

void MainWindow::createBrowser()
{
    browser_ = parts_.browserFactory ? parts_.browserFactory(browserTab_)
                                     : std::make_unique<dv::WebEngineBrowser>(browserTab_, &services_.registry);
    QWidget* view = browser_->widget();
    view->setParent(browserTab_);
    browserTab_->layout()->addWidget(view);
    connect(browser_.get(), &dv::BrowserControl::navigateError, this,
        [this](const QString& url) { dv::guarded([this, &url] { logNavigateError(url); })(); });
    // A wait for the page to load looks again whenever the ready state moves.
    connect(browser_.get(), &dv::BrowserControl::readyStateChanged, this, [this] {
        if (waitLoop_)
            waitLoop_->quit();
    });
}

void MainWindow::logNavigateError(const QString& url)
{
    logEntryError(QStringLiteral("Navigate Error: ") + url);
}

void MainWindow::logEntryError(const QString& line)
{
    ++navigateErrorCount_;
    entryErrorLogged_ = true;
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

void MainWindow::advanceDelay()
{
    delayTimer_->stop();
    const qint64 remaining = delayDeadlineMs_ - nowMs();
    if (remaining > 0) {
        // Longer than one timer interval can hold: run the next leg.
        delayTimer_->setInterval(dv::nextTimerLegMs(remaining));
        delayTimer_->start();
        return;
    }
    delayElapsed_ = true;
}

void MainWindow::endDelayNow()
{
    delayDeadlineMs_ = nowMs();
    delayTimer_->start(1);
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

void MainWindow::waitUntil(const std::function<bool()>& done, qint64 timeoutMs)
{
    const QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (!deadline.isForever())
            wake.start(dv::nextTimerLegMs(deadline.remainingTime()));
        QEventLoop* outer = waitLoop_;
        waitLoop_ = &loop;
        dv::execOrWait(loop);
        waitLoop_ = outer;
    }
}

void MainWindow::waitForLoad(const QString& address)
{
    // A load that began out of sight has had part of its time already.
    const qint64 bound = parts_.loadTimeoutMs < 0
        ? parts_.loadTimeoutMs
        : std::max<qint64>(parts_.loadTimeoutMs - browser_->loadStartedAgoMs(), 0);
    waitUntil([this] { return browser_->readyState() >= dv::BrowserControl::ReadyStateComplete; }, bound);
    if (browser_->readyState() >= dv::BrowserControl::ReadyStateComplete)
        return;
    // Given up: what the page shows so far is printed, and the run goes on.
    browser_->stop();
    logNavigateError(address);
    entryLoadGivenUp_ = true;
}

void MainWindow::printAllPages()
{
    navigateErrorCount_ = 0;
    // Where this run's pages go; a destination no page could reach ends the run here.
    RunOutputScope output(*this);
    const bool overlap = dv::overlapEnabled(services_.registry);
    for (qint64 i = 0; i < pageList_->count(); ++i) {
        showRunProgress(i);
        output.startEntry(i);
        setStatusText(QStringLiteral("Navigating: ") + pageEntry(i));
        const QString address = pageEntry(i);
        entryErrorLogged_ = false;
        entryLoadGivenUp_ = false;
        browser_->navigate(address);
        waitForLoad(address);
        // The next entry loads while this one waits and prints; should the list
        // change meanwhile, navigate() finds another address and loads that instead.
        if (overlap && i + 1 < pageList_->count())
            browser_->preload(pageEntry(i + 1));

        const qint64 delaySeconds = dv::delaySecondsFromText(delaySpin_->cleanText());
        if (delaySeconds > 0) {
            const qint64 delayMs = delaySeconds * 1000;
            delayDeadlineMs_ = nowMsRoundedUp() + delayMs;
            delayElapsed_ = false;
            delayTimer_->setInterval(dv::nextTimerLegMs(delayMs));
            delayTimer_->start();
            waitUntil([this] { return delayElapsed_; }, -1);
        }

        const QString entry = pageEntry(i);
        setStatusText(QStringLiteral("Printing: ") + entry);
        try {
            browser_->print();
        } catch (const dv::PagePrintError& error) {
            // This page alone failed: one line for the entry, and the run goes on.
            qCWarning(lcPrinting) << "page not printed:" << dv::shownEntry(entry) << error.message();
            if (!entryErrorLogged_)
                logEntryError(QStringLiteral("Print Error: ") + entry);
        }
        setStatusText(QStringLiteral("Completed: ") + entry);
    }
    output.finish();
    setStatusText(QStringLiteral("Completed!"));
    services_.dialogs.beep();
    if (navigateErrorCount_ != 0)
        services_.dialogs.messageBox(this, QStringLiteral("Completed with errors!\rPlease check Error Log."),
            QStringLiteral("COMPLETE"), dv::MB_ICONWARNING);
    else
        services_.dialogs.messageBox(
            this, QStringLiteral("Successfully completed."), QStringLiteral("COMPLETE"), dv::MB_ICONINFORMATION);
}

namespace
{

/// Marks a command as running for its lifetime, so a second one only beeps and a
/// close request waits for it.
class CommandScope
{
public:
    CommandScope(bool& running, QProgressBar* progress)
        : running_(running)
        , progress_(progress)
    {
        running_ = true;
    }
    ~CommandScope()
    {
        running_ = false;
        if (progress_)
            progress_->hide();
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    bool& running_;
    QProgressBar* progress_;
};

} // namespace

void MainWindow::printAll()
{
    if (commandRunning_) {
        services_.dialogs.beep();
        return;
    }
    std::exception_ptr failure;
    {
        CommandScope scope(commandRunning_, runProgress_);
        try {
            printAllPages();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // A stopped timer leaves nothing behind that could fire into the next run, nor
    // does a page loaded ahead for a run that ended early.
    delayTimer_->stop();
    browser_->preload(QString());
    if (failure)
        dv::showDefaultError(failure);
    finishDeferredClose();
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
    std::exception_ptr failure;
    {
        CommandScope scope(commandRunning_, nullptr);
        try {
            const QString address = pageEntry(index);
            browser_->navigate(address);
            waitForLoad(address);
            browser_->printPreview();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure)
        dv::showDefaultError(failure);
    finishDeferredClose();
}
