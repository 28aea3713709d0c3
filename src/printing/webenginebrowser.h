#pragma once

#include "pagesource.h"
#include "pagesetup.h"
#include "pdfstamp.h"

#include <QDateTime>
#include <QPageLayout>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <memory>
#include <optional>
#include <utility>
#include <vector>
#include <functional>

class QWebEngineLoadingInfo;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class QStackedWidget;

namespace dv
{

class RegistryStore;
class SilentPage;

/// The real page source: Qt WebEngine pages, each bound for life to a view of its
/// own; render() lays a page out for the default printer's paper (or the page
/// setup's) and gives a vector PDF with its header and footer.
/// Nothing a page does can open a window or a prompt: dialogs, permission and
/// login requests, file choosers, downloads, new windows and bad certificates are
/// all answered "no" without asking anyone, so an unattended run never stops.
class WebEngineBrowser : public PageSource
{
    Q_OBJECT

public:
    /// settings: the store whose page setup render() follows, read afresh each
    /// time; without one, the default printer's set-up.
    explicit WebEngineBrowser(QWidget* parent = nullptr, RegistryStore* settings = nullptr);
    ~WebEngineBrowser() override;

    void setPageCount(int count) override;
    int pageCount() const override { return pageCount_; }
    QWidget* widget() override;
    void load(int page, const QString& address) override;
    void stopLoading(int page) override;
    void show(int page) override;
    void render(int page) override;
    void release(int page) override;
    bool lost(int page) const override;

    /// How long render() waits for the page's render process to answer before it takes
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

    // How far a page's document has come, as the engine's ready states count.
    enum ReadyState : quint32 { ReadyStateUninitialized = 0, ReadyStateLoading = 1, ReadyStateComplete = 4 };
    // Where an engine page is in its life; see the rule above moveTo() in the source.
    enum class PageState { Idle, Loading, Loaded, Rendering, Gone };

    // One engine page, the view it is bound to, and what its entry's load came to.
    struct Tab {
        int index = 0;
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
        // stopLoading() was asked for: the load that ends as stopped is ours to give up.
        bool stopRequested = false;
        // A navigation error was reported for the entry.
        bool entryErrorReported = false;
        // Where the entry's load went, and the HTTP status its response had, if known.
        QUrl requestedUrl;
        int httpStatus = 0;
        // Times the entry's load was asked again after the page before took it over,
        // and whether a load that is not the entry's started before its document came.
        int retakes = 0;
        bool foreignLoadStarted = false;
        // The load was started again after a hung process we ended took it along.
        bool loadRetried = false;
        // The engine is loading something in this page, whoever asked; and the entry's
        // load waits for that load to stop, since the engine would report the two as one.
        bool engineLoading = false;
        bool loadDeferred = false;
        // Navigations of the document before, refused while the entry's load ran.
        QList<QUrl> refusedUrls;
        // Counts the entries and renders the page was given, so that news of an
        // earlier one is told apart.
        quint64 navigations = 0;
        quint64 renders = 0;
        QString address;
        // The page's history entry when the entry's load started: a load given up
        // before it brought a document leaves it as it was.
        HistoryMark beforeLoad;
        // The default printer's set-up, asked on another thread while the page loads.
        std::shared_ptr<std::optional<PageSetup>> defaults;
    };
    // What one render has come to; see render().
    struct RenderJob;

    Tab& tab(int page) const;
    void makePage(Tab& tab);
    void removePage(Tab& tab);
    // Forgets what the tab's last entry came to, for the entry at address.
    void beginEntry(Tab& tab, const QString& address);
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
    // The entry's load came to an end: the page is loaded and loaded() is told.
    void finishLoad(Tab& tab);
    void setReadyState(Tab& tab, quint32 state);
    // Moves the page to the next stage of its life; false (and logged) when the move is not one it can make.
    static bool moveTo(Tab& tab, PageState next);
    void reportError(Tab& tab, const QString& url);
    // The steps of render(), each on its own turn of the event loop.
    void renderWithSetup(const std::shared_ptr<RenderJob>& job);
    void renderProbed(const std::shared_ptr<RenderJob>& job, const QVariant& size);
    void renderPlaced(const std::shared_ptr<RenderJob>& job, const QByteArray& content);
    void failRender(const std::shared_ptr<RenderJob>& job, const QString& message, bool wholeRun = false);
    bool current(const RenderJob& job) const;
    // Ends the render process of a page let go when it does not answer in a while.
    void endRendererIfHung(Tab& tab);
    // Ends the tab's render process, then calls then once the engine knows it ended.
    void endHungRenderer(Tab& tab, std::function<void()> then);
    // Runs work on a thread of its own, then calls then here with its result.
    template <typename Work, typename Then>
    void runOffThread(Work work, Then then);

    QWebEngineProfile* profile_ = nullptr;
    QPointer<QStackedWidget> stack_;
    std::vector<std::unique_ptr<Tab>> tabs_;
    int pageCount_ = 0;
    int renderTimeoutMs_ = 30000;
    RegistryStore* settings_ = nullptr;
    // How long a page let go may take to answer before its process counts as hung,
    // and when such a process was last ended.
    static constexpr int HungRendererProbeMs = 2000;
    qint64 hungRendererEndedMs_ = -100000;
};

} // namespace dv
