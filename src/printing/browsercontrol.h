#pragma once

#include "errors.h"

#include <QObject>
#include <QString>

class QWidget;

namespace dv
{

class PrintOutput;

/// A failure of the page now shown that the next page need not share: it will not
/// render, its render process hung or died, or the entry brought no page of its own.
/// A print run logs it for that entry and goes on.
class PagePrintError : public AppError
{
public:
    using AppError::AppError;
};

/// The embedded browser control the program drives: navigate, ready state, the
/// print and print-preview commands, and the navigation-error signal. The real
/// engine is Qt WebEngine with CUPS behind it; tests may drive a scripted one.
class BrowserControl : public QObject
{
    Q_OBJECT

public:
    enum ReadyState : quint32 {
        ReadyStateUninitialized = 0,
        ReadyStateLoading = 1,
        ReadyStateLoaded = 2,
        ReadyStateInteractive = 3,
        ReadyStateComplete = 4,
    };

    using QObject::QObject;
    ~BrowserControl() override = default;

    /// The widget that shows the current page; it fills its parent pane.
    virtual QWidget* widget() = 0;
    /// Starts loading the address (a local file path or a URL, passed as stored)
    /// and returns at once; from then until the load ends, readyState() is below
    /// ReadyStateComplete. Raises dv::AppError on a failure result.
    virtual void navigate(const QString& address) = 0;
    virtual quint32 readyState() const = 0;
    /// Sends the page now shown to the print output (see setPrintOutput) without a
    /// dialog. The page is handed over before this returns. Raises
    /// dv::PagePrintError when this page cannot be printed, dv::AppError when no
    /// page could be (no printer).
    virtual void print() = 0;
    /// Opens the print preview of the page now shown. Raises dv::AppError on failure.
    virtual void printPreview() = 0;
    /// Gives up the load in progress; readyState() then reaches ReadyStateComplete
    /// with whatever the page shows so far. When the load brought no document yet,
    /// print() has nothing of this entry's to print and raises PagePrintError; the
    /// caller reports the entry.
    virtual void stop() = 0;

    /// Starts loading the address the next navigate() is expected to ask for, out of
    /// sight, so its load overlaps the wait and print of the page now shown. The
    /// next navigate() takes it over if it asks for the same address and throws it
    /// away otherwise; an empty address throws away a pre-load now. Nothing it
    /// meets (navigation errors included) is reported before that navigate().
    /// Controls that cannot load out of sight ignore it.
    virtual void preload(const QString& address) { Q_UNUSED(address); }
    /// How long the load of the entry last navigated to had been running when
    /// navigate() returned: above 0 when it took over a pre-load, so a bound on the
    /// load counts from when it really started.
    virtual qint64 loadStartedAgoMs() const { return 0; }

    /// Where print() sends pages from now on; nullptr (the start) is the default
    /// printer. The output is not owned and must outlive its use here.
    void setPrintOutput(PrintOutput* output) { printOutput_ = output; }
    PrintOutput* printOutput() const { return printOutput_; }

signals:
    /// A navigation failed; url is the failed address.
    void navigateError(const QString& url);
    /// readyState() changed, so waiters on the event loop can look again.
    void readyStateChanged();

private:
    PrintOutput* printOutput_ = nullptr;
};

} // namespace dv
