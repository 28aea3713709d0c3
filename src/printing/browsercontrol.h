#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace dv
{

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
    /// Sends the page now shown to the default printer without a dialog. The job
    /// is handed over before this returns. Raises dv::AppError on failure.
    virtual void print() = 0;
    /// Opens the print preview of the page now shown. Raises dv::AppError on failure.
    virtual void printPreview() = 0;
    /// Gives up the load in progress; readyState() then reaches ReadyStateComplete
    /// with whatever the page shows so far.
    virtual void stop() = 0;

signals:
    /// A navigation failed; url is the failed address.
    void navigateError(const QString& url);
    /// readyState() changed, so waiters on the event loop can look again.
    void readyStateChanged();
};

} // namespace dv
