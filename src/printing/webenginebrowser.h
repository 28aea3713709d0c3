#pragma once

#include "browsercontrol.h"
#include "pagesetup.h"
#include "pdfstamp.h"

#include <QDateTime>
#include <QPageLayout>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>
#include <utility>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class QStackedWidget;

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
    quint32 readyState() const override { return shown_->readyState; }
    void print() override;
    void printPreview() override;
    void stop() override;
    void preload(const QString& address) override;
    qint64 loadStartedAgoMs() const override { return loadStartedAgoMs_; }

    /// How long print() waits for the page's render process to answer before it takes
    /// it for hung and ends it; a process that answers gets this and a share per
    /// sheet of the page for the PDF itself.
    void setRenderTimeoutMs(int ms) { renderTimeoutMs_ = ms; }

    /// The URL the engine loads for a page-list entry: a URL as written, anything
    /// else as a local path (relative ones against the working folder).
    static QUrl urlForAddress(const QString& address);

private:
    // Which document a page holds: a new one is a new history entry, or the same
    // entry committed again (a reload of the same address) with a later visit time.
    struct HistoryMark {
        int count = 0;
        QUrl url;
        QDateTime visited;
        bool operator==(const HistoryMark&) const = default;
    };
    static HistoryMark historyMark(QWebEnginePage& page);

    // Where an engine page is in its life; see the rule above moveTo() in the source.
    enum class PageState { Idle, Queued, Loading, Loaded, Rendering, Gone };

    // One engine page, the view it is bound to, and what its entry's load came to.
    // The page shown is one; a second, kept out of sight, loads the next entry ahead
    // of its turn.
    struct Tab {
        QPointer<SilentPage> page;
        QPointer<QWebEngineView> view;
        PageState lifecycle = PageState::Idle;
        quint32 readyState = ReadyStateUninitialized;
        // A finished load reported before the engine starts the one asked for
        // belongs to the page before; it must not complete the new one.
        bool awaitingStart = false;
        bool sawStart = false;
        // The engine shows its error page: a move within it is a real load again.
        bool lastLoadFailed = false;
        // Whether the page shows a document of the entry's own; a download, a refused
        // entry or a file the engine will not show leaves the one before.
        bool documentForEntry = false;
        // stop() was asked for: the load that ends as stopped is ours to give up.
        bool stopRequested = false;
        // A navigation error was reported (or held back) for the entry.
        bool entryErrorReported = false;
        // Where a queued load goes once it may start, and where the entry's load went.
        QUrl pendingUrl;
        QUrl requestedUrl;
        // Times the entry's load was asked again after the page before took it over,
        // and whether a load that is not the entry's started before its document came.
        int retakes = 0;
        bool foreignLoadStarted = false;
        // The engine is loading something in this page, whoever asked; and the entry's
        // load waits for that load to stop, since the engine would report the two as one.
        bool engineLoading = false;
        bool loadDeferred = false;
        // Navigations of the document before, refused while the entry's load ran.
        QList<QUrl> refusedUrls;
        quint64 navigations = 0;
        qint64 startedMs = 0;
        QString address;
        // Navigation errors met out of sight, reported when the entry's turn comes.
        QStringList heldErrors;
        // The page's history entry when the entry's load started: a load given up
        // before it brought a document leaves it as it was.
        HistoryMark beforeLoad;
    };

    SilentPage* makePage(Tab& tab);
    // Forgets what the tab's last entry came to, for the entry at address.
    static void beginEntry(Tab& tab, const QString& address);
    // Starts loading the entry's URL into the tab's page, marking what it held before.
    void startLoad(Tab& tab, const QUrl& url);
    // Starts the entry's load that waited for the page's earlier load to stop.
    void startDeferredLoad(Tab& tab);
    // Whether the load started last brought a document, even one still loading.
    static bool loadBroughtDocument(Tab& tab);
    // Whether the document before (reloading itself, or moving on by a script or a
    // refresh) took the place of the entry's load; the entry's load is then asked
    // again, a few times at most.
    bool retakeFromPageBefore(Tab& tab);
    // Whether the page may make a navigation it asks for (type: the engine's
    // navigation type); see the source for who may move a page.
    bool allowNavigation(Tab& tab, const QUrl& url, int type, bool isMainFrame);
    void onLoadingChanged(Tab& tab, const QWebEngineLoadingInfo& info);
    void onRendererGone(Tab& tab);
    // The entry's load came to an end: the page is loaded and the entry complete.
    void finishLoad(Tab& tab);
    void setReadyState(Tab& tab, quint32 state);
    // Moves the page to the next stage of its life; false (and logged) when the move is not one it can make.
    static bool moveTo(Tab& tab, PageState next);
    // The page out of sight holds an entry's load, queued, under way or done.
    bool holdsPreload() const { return spare_ && spare_->lifecycle != PageState::Idle; }
    // Reports a navigation error now for the page shown, later for a pre-load.
    void reportError(Tab& tab, const QString& url);
    // Whether a signal from this tab concerns anyone: the page shown, or a pre-load.
    bool listening(const Tab& tab) const { return &tab == shown_.get() || (&tab == spare_.get() && holdsPreload()); }
    bool takeOverPreload(const QString& address);
    void discardPreload();
    void startPendingPreload();
    void endHungRenderer();
    // Raises PagePrintError unless the page shown is this entry's own and alive.
    void requirePageOfEntry();
    QByteArray renderPdf(const QPageLayout& layout);
    // Applies the page setup to the page shown and says what its header and footer read.
    std::pair<PageSetup, HeaderFooterTexts> printSetup(const std::optional<PageSetup>& askedDefaults = std::nullopt);
    // The page shown as it prints: laid out by the page setup, with its header and footer.
    QByteArray printout();
    // Hands a printout to where Print All sends its pages.
    void sendToDestination(const QByteArray& pdf);

    QWebEngineProfile* profile_ = nullptr;
    QPointer<QStackedWidget> stack_;
    std::unique_ptr<Tab> shown_;
    // Made on the first pre-load, then reused: never more than two pages.
    std::unique_ptr<Tab> spare_;
    qint64 loadStartedAgoMs_ = 0;
    // The default printer's set-up, asked while the page before was handed over,
    // for the print of the entry taken over next; asking takes CUPS a while.
    std::optional<PageSetup> nextDefaults_;
    int renderTimeoutMs_ = 30000;
    // Whether the print being prepared lays the page's fixed bars out once.
    bool fixedBarsOnce_ = true;
    RegistryStore* settings_ = nullptr;
};

} // namespace dv
