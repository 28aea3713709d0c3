// The browser host and the print and preview commands of the main window.
#include "appform.h"

#include "browsercontrol.h"
#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "listbox.h"
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

#include <exception>

namespace
{

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

} // namespace

void TAppForm::connectPrintingHandlers()
{
    using dv::guarded;
    connect(Button4, &QPushButton::clicked, this, guarded([this] { Button4Click(); }));
    connect(Button3, &QPushButton::clicked, this, guarded([this] { Button3Click(); }));
    connect(PrintAll1, &QAction::triggered, this, guarded([this] { PrintAll1Click(); }));
    connect(PrintPreview1, &QAction::triggered, this, guarded([this] { PrintPreview1Click(); }));
    connect(TimerDelay, &QTimer::timeout, this, guarded([this] {
        TimerDelayTimer();
        if (waitLoop_)
            waitLoop_->quit();
    }));
    ProgressBar1->setFormat(QStringLiteral("Page %v of %m"));
    ProgressBar1->setTextVisible(true);
}

void TAppForm::WebBrowserYukle()
{
    MyWebBrowser
        = parts_.browserFactory ? parts_.browserFactory(TabSheet2) : std::make_unique<dv::WebEngineBrowser>(TabSheet2);
    QWidget* view = MyWebBrowser->widget();
    view->setParent(TabSheet2);
    TabSheet2->layout()->addWidget(view);
    connect(MyWebBrowser.get(), &dv::BrowserControl::navigateError, this,
        [this](const QString& url) { dv::guarded([this, &url] { MyWebBrowserNavigateError(url); })(); });
    // A wait for the page to load looks again whenever the ready state moves.
    connect(MyWebBrowser.get(), &dv::BrowserControl::readyStateChanged, this, [this] {
        if (waitLoop_)
            waitLoop_->quit();
    });
}

void TAppForm::MyWebBrowserNavigateError(const QString& url)
{
    ++NavigateErrorCount;
    const int logTab = PageControl1->indexOf(TabSheet3);
    if (!PageControl1->isTabVisible(logTab)) {
        // Showing a tab may make it current when it is the only visible one; the
        // user stays where they are.
        QWidget* current = PageControl1->currentWidget();
        PageControl1->setTabVisible(logTab, true);
        PageControl1->setCurrentWidget(current);
    }
    Memo1->appendPlainText(QStringLiteral("Navigate Error: ") + url);
}

void TAppForm::PrintAll1Click()
{
    if (Button4->isEnabled())
        Button4->click();
}

void TAppForm::PrintPreview1Click()
{
    if (Button3->isEnabled())
        Button3->click();
}

void TAppForm::TimerDelayTimer()
{
    TimerDelay->stop();
    const qint64 remaining = delayDeadlineMs - nowMs();
    if (remaining > 0) {
        // Longer than one timer interval can hold: run the next leg.
        TimerDelay->setInterval(dv::nextTimerLegMs(remaining));
        TimerDelay->start();
        return;
    }
    DelayElapsed = true;
}

bool TAppForm::deferCloseWhileBusy()
{
    if (!commandRunning_)
        return false;
    closeAfterCommand_ = true;
    return true;
}

void TAppForm::finishDeferredClose()
{
    if (!closeAfterCommand_)
        return;
    closeAfterCommand_ = false;
    close();
}

QString TAppForm::pageEntry(qint64 index) const
{
    // The list may have been shortened during a wait.
    if (index < 0 || index >= ListBox1->count())
        throw dv::AppError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return ListBox1->entryAt(static_cast<int>(index));
}

void TAppForm::showRunProgress(qint64 index)
{
    ProgressBar1->setRange(0, ListBox1->count());
    ProgressBar1->setValue(static_cast<int>(index + 1));
    ProgressBar1->show();
}

void TAppForm::waitUntil(const std::function<bool()>& done, qint64 timeoutMs)
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

void TAppForm::waitForLoad(const QString& address)
{
    waitUntil(
        [this] { return MyWebBrowser->readyState() >= dv::BrowserControl::ReadyStateComplete; }, parts_.loadTimeoutMs);
    if (MyWebBrowser->readyState() >= dv::BrowserControl::ReadyStateComplete)
        return;
    // Given up: what the page shows so far is printed, and the run goes on.
    MyWebBrowser->stop();
    MyWebBrowserNavigateError(address);
}

void TAppForm::printAllPages()
{
    NavigateErrorCount = 0;
    for (qint64 i = 0; i < ListBox1->count(); ++i) {
        showRunProgress(i);
        setStatusText(QStringLiteral("Navigating: ") + pageEntry(i));
        const QString address = pageEntry(i);
        MyWebBrowser->navigate(address);
        waitForLoad(address);

        const qint64 delaySeconds = dv::delaySecondsFromText(SpinEdit1->cleanText());
        if (delaySeconds > 0) {
            const qint64 delayMs = delaySeconds * 1000;
            delayDeadlineMs = nowMs() + delayMs;
            DelayElapsed = false;
            TimerDelay->setInterval(dv::nextTimerLegMs(delayMs));
            TimerDelay->start();
            waitUntil([this] { return DelayElapsed; }, -1);
        }

        setStatusText(QStringLiteral("Printing: ") + pageEntry(i));
        MyWebBrowser->print();
        setStatusText(QStringLiteral("Completed: ") + pageEntry(i));
    }
    setStatusText(QStringLiteral("Completed!"));
    services().dialogs.beep();
    if (NavigateErrorCount != 0)
        services().dialogs.messageBox(this, QStringLiteral("Completed with errors!\rPlease check Error Log."),
            QStringLiteral("COMPLETE"), dv::MB_ICONWARNING);
    else
        services().dialogs.messageBox(
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

void TAppForm::Button4Click()
{
    if (commandRunning_) {
        services().dialogs.beep();
        return;
    }
    std::exception_ptr failure;
    {
        CommandScope scope(commandRunning_, ProgressBar1);
        try {
            printAllPages();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    // A stopped timer leaves nothing behind that could fire into the next run.
    TimerDelay->stop();
    if (failure)
        dv::showDefaultError(failure);
    finishDeferredClose();
}

void TAppForm::Button3Click()
{
    if (commandRunning_) {
        services().dialogs.beep();
        return;
    }
    if (ListBox1->count() == 0) {
        services().dialogs.beep();
        return;
    }
    // The caret entry; a list nobody has clicked yet has its caret on the first one.
    const qint64 index = std::max(ListBox1->currentRow(), 0);
    std::exception_ptr failure;
    {
        CommandScope scope(commandRunning_, nullptr);
        try {
            const QString address = pageEntry(index);
            MyWebBrowser->navigate(address);
            waitForLoad(address);
            MyWebBrowser->printPreview();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (failure)
        dv::showDefaultError(failure);
    finishDeferredClose();
}
