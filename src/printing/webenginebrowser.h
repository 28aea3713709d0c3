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

class RegistryStore;
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
    /// settings: the store whose page setup print() and printPreview() follow, read
    /// afresh each time; without one, the default printer's set-up.
    explicit WebEngineBrowser(QWidget* parent = nullptr, RegistryStore* settings = nullptr);
    ~WebEngineBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& address) override;
    quint32 readyState() const override { return state_; }
    void print() override;
    void printPreview() override;
    void stop() override;

    /// How long print() waits for the engine to produce the PDF before it takes the
    /// page's render process for hung and ends it.
    void setRenderTimeoutMs(int ms) { renderTimeoutMs_ = ms; }

    /// The URL the engine loads for a page-list entry: a URL as written, anything
    /// else as a local path (relative ones against the working folder).
    static QUrl urlForAddress(const QString& address);

private:
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void setState(quint32 state);
    void endHungRenderer();
    // Raises PagePrintError unless the page shown is this entry's own and alive.
    void requirePageOfEntry();
    QByteArray renderPdf(const QPageLayout& layout);
    // The page shown as it prints: laid out by the page setup, with its header and footer.
    QByteArray printout();
    // Hands a printout to where Print All sends its pages.
    void sendToDestination(const QByteArray& pdf);

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
    int renderTimeoutMs_ = 30000;
    // Whether the page shown came from the entry last navigated to; a download, a
    // refused entry or a file the engine will not show leaves the one before.
    bool documentForEntry_ = false;
    // The page's render process died; the next load starts a new one.
    bool rendererGone_ = false;
    // stop() was asked for: the load that ends as stopped is ours to give up.
    bool stopRequested_ = false;
    // A navigation error was reported for the entry last navigated to.
    bool entryErrorReported_ = false;
    QString address_;
    RegistryStore* settings_ = nullptr;
};

} // namespace dv
