#pragma once

#include "browsercontrol.h"

#include <QPageLayout>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace dv
{

class SilentPage;

/// The real browser control: Qt WebEngine shows the page; print() turns the page
/// into a vector PDF laid out for the default printer and hands it to CUPS.
/// Nothing the page does can open a window or a prompt: dialogs, permission and
/// login requests, file choosers, downloads, new windows and bad certificates are
/// all answered "no" without asking anyone, so an unattended run never stops.
class WebEngineBrowser : public BrowserControl
{
    Q_OBJECT

public:
    explicit WebEngineBrowser(QWidget* parent = nullptr);
    ~WebEngineBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& address) override;
    quint32 readyState() const override { return state_; }
    void print() override;
    void printPreview() override;
    void stop() override;

    /// How long print() waits for the engine to produce the PDF.
    int printTimeoutMs = 60000;

    /// The URL the engine loads for a page-list entry: a URL as written, anything
    /// else as a local path (relative ones against the working folder).
    static QUrl urlForAddress(const QString& address);

private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void setState(quint32 state);
    QByteArray renderPdf(const QPageLayout& layout);

    QWebEngineProfile* profile_ = nullptr;
    QPointer<SilentPage> page_;
    QPointer<QWebEngineView> view_;
    quint32 state_ = ReadyStateUninitialized;
    // A finished load reported before the engine starts the one navigate() asked
    // for belongs to the page before; it must not complete the new one.
    bool awaitingStart_ = false;
    bool sawStart_ = false;
    // The engine shows its error page: a move within it is a real load again.
    bool lastLoadFailed_ = false;
    quint64 navigations_ = 0;
    QString address_;
};

} // namespace dv
