#include "webenginebrowser.h"

#include "cupsjob.h"
#include "destination.h"
#include "errors.h"
#include "pagesetup.h"
#include "pdfpreview.h"
#include "pdfstamp.h"
#include "printinglog.h"
#include "printrun.h"
#include "printscript.h"
#include "renderbound.h"

#include <QAuthenticator>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QThread>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <csignal>
#include <functional>
#include <exception>
#include <optional>
#include <utility>
#include <sys/types.h>

namespace dv
{

/// A page that answers every question itself instead of asking the user.
class SilentPage : public QWebEnginePage
{
public:
    /// Asked about every navigation the page is to make; false refuses it.
    std::function<bool(const QUrl&, NavigationType, bool isMainFrame)> navigationFilter;

    SilentPage(QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent)
    {
        connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl& origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
        });
        connect(this, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl&, QAuthenticator* auth) { *auth = QAuthenticator(); });
        connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl&, QAuthenticator* auth, const QString&) { *auth = QAuthenticator(); });
        connect(this, &QWebEnginePage::certificateError, this, [](QWebEngineCertificateError error) {
            // Rejected, the load fails and is reported as a navigation error.
            qCInfo(lcPrinting) << "certificate rejected:" << error.url() << error.description();
            error.rejectCertificate();
        });
        connect(this, &QWebEnginePage::selectClientCertificate, this,
            [](QWebEngineClientCertificateSelection selection) { selection.selectNone(); });
        connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
        connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
        QT_WARNING_POP
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        return !navigationFilter || navigationFilter(url, type, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override { return {}; }
    void javaScriptAlert(const QUrl&, const QString&) override { }
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
    void javaScriptConsoleMessage(
        JavaScriptConsoleMessageLevel, const QString& message, int line, const QString& source) override
    {
        qCDebug(lcPrinting) << "page console:" << source << line << message;
    }
};

namespace
{

qint64 nowMs()
{
    return QDeadlineTimer::current().deadline();
}

bool isScript(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0;
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent, RegistryStore* settingsStore)
    : BrowserControl(parent)
    , shown_(std::make_unique<Tab>())
    , settings_(settingsStore)
{
    // Off the record: no cookies, cache or history outlive the run or leak between users.
    profile_ = new QWebEngineProfile(this);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    connect(profile_, &QWebEngineProfile::downloadRequested, this, [](QWebEngineDownloadRequest* download) {
        qCInfo(lcPrinting) << "download refused:" << download->url();
        download->cancel();
    });

    stack_ = new QStackedWidget(parent);
    stack_->setObjectName(QStringLiteral("browserStack"));
    makePage(*shown_);
    stack_->setCurrentWidget(shown_->view);
}

WebEngineBrowser::~WebEngineBrowser()
{
    // The pages must go before their profile.
    for (Tab* tab : { shown_.get(), spare_.get() }) {
        if (!tab)
            continue;
        if (tab->view)
            tab->view->setPage(nullptr);
        delete tab->page;
        delete tab->view;
    }
}

SilentPage* WebEngineBrowser::makePage(Tab& tab)
{
    auto* page = new SilentPage(profile_, this);
    tab.page = page;
    tab.view = new QWebEngineView(stack_);
    tab.view->setObjectName(QStringLiteral("browserView"));
    tab.view->setAccessibleName(QStringLiteral("Web page"));
    tab.view->setPage(page);
    stack_->addWidget(tab.view);
    QWebEngineSettings* settings = page->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    // A page saved from the web as "HTML only" takes its pictures and styles from
    // the web, as it would in any browser.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // The tab outlives its page: both belong to this object and go together.
    Tab* owner = &tab;
    page->navigationFilter = [this, owner](const QUrl& url, QWebEnginePage::NavigationType type, bool isMainFrame) {
        return allowNavigation(*owner, url, type, isMainFrame);
    };
    connect(page, &QWebEnginePage::loadingChanged, this,
        [this, owner](const QWebEngineLoadingInfo& info) { onLoadingChanged(*owner, info); });
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
        [this, owner](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
            if (status == QWebEnginePage::NormalTerminationStatus)
                return;
            qCWarning(lcPrinting) << "page process ended:" << status << code;
            onRendererGone(*owner);
        });
    return page;
}

WebEngineBrowser::HistoryMark WebEngineBrowser::historyMark(QWebEnginePage& page)
{
    QWebEngineHistory* history = page.history();
    const QWebEngineHistoryItem current = history->currentItem();
    return { history->count(), current.url(), current.lastVisited() };
}

void WebEngineBrowser::beginEntry(Tab& tab, const QString& address)
{
    tab.address = address;
    tab.heldErrors.clear();
    tab.sawStart = false;
    tab.stopRequested = false;
    tab.documentForEntry = false;
    tab.entryErrorReported = false;
    tab.startedMs = nowMs();
    tab.retakes = 0;
    tab.foreignLoadStarted = false;
    tab.loadDeferred = false;
    tab.refusedUrls.clear();
}

void WebEngineBrowser::startLoad(Tab& tab, const QUrl& url)
{
    tab.requestedUrl = url;
    tab.foreignLoadStarted = false;
    tab.beforeLoad = historyMark(*tab.page);
    if (tab.engineLoading) {
        // The engine reports loading, not loads: a load the document before still has
        // under way (a page that reloads itself) would swallow the start of this one
        // and end in its place. It is stopped, and this one starts once it has.
        tab.loadDeferred = true;
        tab.page->triggerAction(QWebEnginePage::Stop);
        Tab* owner = &tab;
        QTimer::singleShot(500, this, [this, owner, navigation = tab.navigations] {
            if (owner->loadDeferred && owner->navigations == navigation)
                startDeferredLoad(*owner);
        });
        return;
    }
    tab.loadDeferred = false;
    tab.page->load(url);
}

void WebEngineBrowser::startDeferredLoad(Tab& tab)
{
    if (!tab.loadDeferred || tab.lifecycle != PageState::Loading)
        return;
    tab.loadDeferred = false;
    tab.engineLoading = false;
    tab.beforeLoad = historyMark(*tab.page);
    tab.page->load(tab.requestedUrl);
}

bool WebEngineBrowser::allowNavigation(Tab& tab, const QUrl& url, int type, bool isMainFrame)
{
    // Ours (a load asked for, or where it redirects), or the document of the entry
    // moving on by itself: allowed. The document before, moving on while the entry's
    // load waits or runs, or a page that holds no entry: refused, since it would
    // take the place of the entry's page.
    if (!isMainFrame || type == QWebEnginePage::NavigationTypeTyped || type == QWebEnginePage::NavigationTypeRedirect
        || url == tab.requestedUrl)
        return true;
    bool allowed = true;
    switch (tab.lifecycle) {
    case PageState::Idle:
    case PageState::Queued:
        allowed = false;
        break;
    case PageState::Loading:
        allowed = loadBroughtDocument(tab);
        break;
    case PageState::Loaded:
    case PageState::Rendering:
    case PageState::Gone:
        break;
    }
    if (!allowed) {
        qCInfo(lcPrinting) << "navigation of the page before refused:" << url;
        tab.refusedUrls << url;
    }
    return allowed;
}

bool WebEngineBrowser::retakeFromPageBefore(Tab& tab)
{
    // A reload keeps its history entry and address; the entry's own load, even one
    // redirected back to that address, makes a new entry.
    constexpr int maxRetakes = 5;
    const HistoryMark now = historyMark(*tab.page);
    // A download or a refused file leaves the entry before untouched; a reload visits it again.
    const bool reloadedOver = tab.requestedUrl != tab.beforeLoad.url && now.count == tab.beforeLoad.count
        && now.url == tab.beforeLoad.url && now.visited != tab.beforeLoad.visited;
    if (tab.retakes >= maxRetakes || !(reloadedOver || tab.foreignLoadStarted))
        return false;
    ++tab.retakes;
    qCInfo(lcPrinting) << "the page before reloaded over" << tab.requestedUrl << "- loading it again";
    tab.awaitingStart = true;
    startLoad(tab, tab.requestedUrl);
    return true;
}

bool WebEngineBrowser::loadBroughtDocument(Tab& tab)
{
    return historyMark(*tab.page) != tab.beforeLoad;
}

QWidget* WebEngineBrowser::widget()
{
    return stack_;
}

QUrl WebEngineBrowser::urlForAddress(const QString& address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    return QUrl::fromUserInput(text, QDir::currentPath(), QUrl::AssumeLocalFile);
}

// The life of an engine page. Each page is made together with a view of its own and
// both live as long as this control: a page is never handed to another view (the
// engine may replace its render widget while it is out of sight, and the view would
// then use the one it replaced), and no page is deleted while a run may hold it.
//   Idle      holds no entry: the page made first, or one whose entry was let go.
//   Queued    an entry's load is asked for and waits for the page shown to render.
//   Loading   the entry's load is under way; only now do load events count.
//   Loaded    the load came to an end; what the page does afterwards (downloads,
//             navigations, closing itself) is its own business and changes nothing.
//   Rendering its print is being made.
//   Gone      its render process ended; the next load starts a new one.
bool WebEngineBrowser::moveTo(Tab& tab, PageState next)
{
    using S = PageState;
    auto allowed = [](S from, S to) {
        switch (to) {
        case S::Idle:
        case S::Gone:
            return true;
        case S::Queued:
            return from != S::Rendering;
        case S::Loading:
            return from != S::Rendering;
        case S::Loaded:
            return from != S::Queued;
        case S::Rendering:
            return from == S::Loaded;
        }
        return false;
    };
    if (tab.lifecycle == next)
        return true;
    if (!allowed(tab.lifecycle, next)) {
        qCWarning(lcPrinting) << "page state" << int(tab.lifecycle) << "cannot become" << int(next);
        return false;
    }
    tab.lifecycle = next;
    return true;
}

void WebEngineBrowser::setReadyState(Tab& tab, quint32 state)
{
    if (tab.readyState == state)
        return;
    if (state == ReadyStateComplete) {
        // Nobody goes back in a print run: keeping no history keeps long runs small.
        tab.page->history()->clear();
    }
    tab.readyState = state;
    if (&tab == shown_.get())
        emit readyStateChanged();
}

void WebEngineBrowser::reportError(Tab& tab, const QString& url)
{
    tab.entryErrorReported = true;
    if (&tab == shown_.get())
        emit navigateError(url);
    else
        tab.heldErrors << url;
}

void WebEngineBrowser::onRendererGone(Tab& tab)
{
    // A crashed page never completes on its own, and there is nothing left to
    // print; the next load starts a new render process.
    const bool loading = tab.lifecycle == PageState::Loading;
    tab.engineLoading = false;
    tab.loadDeferred = false;
    moveTo(tab, PageState::Gone);
    if (!listening(tab) || !loading)
        return;
    tab.awaitingStart = false;
    reportError(tab, tab.address);
    setReadyState(tab, ReadyStateComplete);
}

void WebEngineBrowser::preload(const QString& address)
{
    discardPreload();
    const QUrl url = urlForAddress(address);
    // A script entry is refused when its turn comes, and an entry with nothing to
    // load fails then; neither has anything to load ahead.
    if (address.isEmpty() || !url.isValid() || isScript(url))
        return;
    // A move within the page shown loads nothing when its turn comes; a fresh
    // load of it out of sight would not be the same page.
    if (url.hasFragment()
        && url.adjusted(QUrl::RemoveFragment) == shown_->page->url().adjusted(QUrl::RemoveFragment))
        return;
    if (!spare_) {
        spare_ = std::make_unique<Tab>();
        makePage(*spare_);
    }
    Tab& tab = *spare_;
    qCDebug(lcPrinting) << "preload:" << address;
    beginEntry(tab, address);
    tab.awaitingStart = true;
    ++tab.navigations;
    moveTo(tab, PageState::Queued);
    setReadyState(tab, ReadyStateLoading);
    // Started on the next pass of the event loop: a print that starts at once (no
    // delay) renders first, and the load then runs alongside its stamping and
    // hand-over rather than slowing its rendering down.
    tab.pendingUrl = url;
    QTimer::singleShot(0, this, [this] {
        if (shown_->lifecycle != PageState::Rendering)
            startPendingPreload();
    });
}

void WebEngineBrowser::startPendingPreload()
{
    if (!spare_ || spare_->lifecycle != PageState::Queued)
        return;
    // The load bound counts from here.
    spare_->startedMs = nowMs();
    moveTo(*spare_, PageState::Loading);
    startLoad(*spare_, std::exchange(spare_->pendingUrl, QUrl()));
}

void WebEngineBrowser::discardPreload()
{
    if (!holdsPreload())
        return;
    spare_->heldErrors.clear();
    spare_->loadDeferred = false;
    const bool loading = spare_->lifecycle == PageState::Loading;
    moveTo(*spare_, PageState::Idle);
    if (loading)
        spare_->page->triggerAction(QWebEnginePage::Stop);
}

bool WebEngineBrowser::takeOverPreload(const QString& address)
{
    if (!holdsPreload())
        return false;
    startPendingPreload();
    // A page whose render process is gone (a hung page before it may have taken
    // it along) would fail where a fresh load would not: it loads again instead.
    if (spare_->address != address || spare_->lifecycle == PageState::Gone) {
        discardPreload();
        return false;
    }
    std::swap(shown_, spare_);
    // The page that was shown holds no entry any more.
    moveTo(*spare_, PageState::Idle);
    Tab& tab = *shown_;
    stack_->setCurrentWidget(tab.view);
    loadStartedAgoMs_ = std::max<qint64>(nowMs() - tab.startedMs, 0);
    const QStringList held = std::exchange(tab.heldErrors, {});
    for (const QString& url : held)
        emit navigateError(url);
    emit readyStateChanged();
    return true;
}

void WebEngineBrowser::navigate(const QString& address)
{
    if (takeOverPreload(address)) {
        qCDebug(lcPrinting) << "navigate: took over the page loaded ahead for" << address;
        return;
    }
    qCDebug(lcPrinting) << "navigate: loading" << address << "in the page shown";
    nextDefaults_.reset();
    loadStartedAgoMs_ = 0;
    Tab& tab = *shown_;
    beginEntry(tab, address);
    const QUrl url = urlForAddress(address);
    if (isScript(url)) {
        // A script entry would run inside whatever page is shown, with its origin:
        // it is refused, and nothing is loaded or printed for it; loads the page
        // shown makes meanwhile are not this entry's.
        tab.awaitingStart = false;
        moveTo(tab, PageState::Loaded);
        setReadyState(tab, ReadyStateLoading);
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, address, navigation = ++tab.navigations] {
            if (owner != shown_.get() || navigation != owner->navigations)
                return;
            reportError(*owner, address);
            setReadyState(*owner, ReadyStateComplete);
        });
        return;
    }
    if (!url.isValid()) {
        // Nothing to load: it fails like an unreachable address, on a blank page.
        tab.awaitingStart = true;
        tab.documentForEntry = true; // the blank page is this entry's
        moveTo(tab, PageState::Loading);
        setReadyState(tab, ReadyStateLoading);
        QTimer::singleShot(0, this, [this, address] { emit navigateError(address); });
        tab.page->setHtml(QString());
        return;
    }
    const QUrl shown = tab.page->url();
    const bool sameDocument = tab.readyState == ReadyStateComplete && tab.lifecycle == PageState::Loaded
        && !tab.lastLoadFailed && url.hasFragment()
        && url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment);
    tab.awaitingStart = !sameDocument;
    moveTo(tab, PageState::Loading);
    setReadyState(tab, ReadyStateLoading);
    const quint64 navigation = ++tab.navigations;
    tab.documentForEntry = sameDocument;
    startLoad(tab, url);
    if (sameDocument) {
        // Moving within the page shown loads nothing and the engine reports no load:
        // the document is complete as it is, unless a real load turns up first.
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, navigation] {
            if (owner == shown_.get() && navigation == owner->navigations && !owner->sawStart
                && owner->lifecycle == PageState::Loading) {
                moveTo(*owner, PageState::Loaded);
                setReadyState(*owner, ReadyStateComplete);
            }
        });
    }
}

void WebEngineBrowser::onLoadingChanged(Tab& tab, const QWebEngineLoadingInfo& info)
{
    qCDebug(lcPrinting) << "loading" << info.status() << info.url() << info.errorDomain() << info.errorCode()
                        << info.isErrorPage() << (&tab == shown_.get() ? "shown" : "spare");
    tab.engineLoading = info.status() == QWebEngineLoadingInfo::LoadStartedStatus;
    if (tab.loadDeferred) {
        // The earlier load stopped: the entry's own starts, outside this signal.
        if (!tab.engineLoading) {
            Tab* owner = &tab;
            QTimer::singleShot(0, this, [this, owner] { startDeferredLoad(*owner); });
        }
        return;
    }
    // Once the entry's load has come to an end, what the page loads next is its own
    // business: it neither takes the document it brought away nor counts as a failure.
    if (!listening(tab) || tab.lifecycle != PageState::Loading)
        return;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        // The engine reports one start per load, redirects included: a second one
        // before the entry's document came was started by the document before.
        if (!tab.awaitingStart && tab.sawStart && info.url() != tab.requestedUrl && !loadBroughtDocument(tab))
            tab.foreignLoadStarted = true;
        tab.awaitingStart = false;
        tab.sawStart = true;
        setReadyState(tab, ReadyStateLoading);
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus: {
        if (tab.awaitingStart || tab.refusedUrls.contains(info.url()) || retakeFromPageBefore(tab))
            return;
        tab.lastLoadFailed = true;
        // The server's page for an error status, or the engine's error page, is this
        // entry's page; so is the document it brought before a later move of its own
        // failed. Without any of them the page before is still shown.
        const bool errorPage
            = info.isErrorPage() || info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
        const bool broughtDocument = loadBroughtDocument(tab);
        tab.documentForEntry = errorPage || broughtDocument;
        if (errorPage || !broughtDocument)
            reportError(tab, info.url().toString());
        finishLoad(tab);
        return;
    }
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        if (tab.awaitingStart || retakeFromPageBefore(tab))
            return;
        tab.lastLoadFailed = false;
        tab.documentForEntry = true;
        finishLoad(tab);
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        if (tab.awaitingStart || (!tab.stopRequested && tab.refusedUrls.contains(info.url()))
            || (!tab.stopRequested && retakeFromPageBefore(tab)))
            return;
        tab.lastLoadFailed = false;
        // Given up by us, or ended by a download the page started: the page prints as
        // it stands once its document came. An entry that is itself a download (or a
        // file the engine will not show) brought none, and the page before is not its.
        tab.documentForEntry = tab.documentForEntry || loadBroughtDocument(tab);
        finishLoad(tab);
        return;
    }
}

void WebEngineBrowser::finishLoad(Tab& tab)
{
    moveTo(tab, PageState::Loaded);
    setReadyState(tab, ReadyStateComplete);
}

void WebEngineBrowser::stop()
{
    Tab& tab = *shown_;
    tab.stopRequested = true;
    // A load that never brought a document (a server that accepts and never
    // answers) leaves the page before, which is not this entry's to print. The
    // caller reports the entry.
    tab.documentForEntry = tab.documentForEntry || loadBroughtDocument(tab);
    tab.entryErrorReported = true;
    tab.loadDeferred = false;
    tab.page->triggerAction(QWebEnginePage::Stop);
    tab.awaitingStart = false;
    if (tab.lifecycle == PageState::Loading)
        finishLoad(tab);
    else
        setReadyState(tab, ReadyStateComplete);
}

void WebEngineBrowser::requirePageOfEntry()
{
    Tab& tab = *shown_;
    if (!tab.documentForEntry) {
        if (!tab.entryErrorReported)
            reportError(tab, tab.address);
        throw PagePrintError(QStringLiteral("\"%1\" brought no page to print.").arg(tab.address));
    }
    if (tab.lifecycle == PageState::Gone)
        throw PagePrintError(QStringLiteral("The page's render process has ended."));
}

void WebEngineBrowser::endHungRenderer()
{
    Tab& tab = *shown_;
    const qint64 pid = tab.page->renderProcessPid();
    if (pid <= 0 || tab.lifecycle == PageState::Gone)
        return;
    qCWarning(lcPrinting) << "ending hung render process" << pid;
    ::kill(pid_t(pid), SIGKILL);
    // Wait for the engine to notice, so the news cannot reach the next entry.
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(tab.page.data(), &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    bound.start(5000);
    if (tab.lifecycle != PageState::Gone)
        loop.exec();
    moveTo(tab, PageState::Gone);
}

namespace
{

// What an engine call answers through its callback, which may still come after
// the caller gave up waiting.
template <typename T>
struct PendingAnswer {
    bool done = false;
    T value {};
    QEventLoop* loop = nullptr;

    void answer(T v)
    {
        value = std::move(v);
        done = true;
        if (loop)
            loop->quit();
    }
    // Waits on the event loop until the answer came or the deadline passed.
    bool waitUntil(const QDeadlineTimer& deadline)
    {
        while (!done && !deadline.hasExpired()) {
            QEventLoop waiting;
            QTimer wake;
            wake.setSingleShot(true);
            QObject::connect(&wake, &QTimer::timeout, &waiting, &QEventLoop::quit);
            wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
            loop = &waiting;
            execOrWait(waiting);
            loop = nullptr;
        }
        return done;
    }
};

} // namespace

QByteArray WebEngineBrowser::renderPdf(const QPageLayout& layout)
{
    requirePageOfEntry();
    Tab& tab = *shown_;
    if (!moveTo(tab, PageState::Rendering))
        throw PagePrintError(QStringLiteral("The page is not ready to print."));
    // Rendered or not, the page is loaded again afterwards, unless it is gone.
    const auto rendered = qScopeGuard([&tab] {
        if (tab.lifecycle == PageState::Rendering)
            moveTo(tab, PageState::Loaded);
    });
    // A script that never yields holds the render process, and the engine cannot
    // end a process with a print under way: ask it something small first, and end
    // it when no answer comes, so the next entry loads in a fresh one. The question
    // readies the page for print and answers its size, for how long that may take.
    auto probe = std::make_shared<PendingAnswer<QVariant>>();
    shown_->page->runJavaScript(printPreparationScript(fixedBarsOnce_), QWebEngineScript::UserWorld,
        [probe](const QVariant& size) { probe->answer(size); });
    if (!probe->waitUntil(QDeadlineTimer(renderTimeoutMs_))) {
        endHungRenderer();
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing in time."));
    }
    // A renderer that answered is busy, not hung: a big page gets the time its sheets take.
    const QVariantList size = probe->value.toList();
    const QSizeF sheetPx = layout.fullRect(QPageLayout::Point).size() * (96.0 / 72.0);
    const int sheets = estimatedSheets(size.value(0).toDouble(), size.value(1).toDouble(), sheetPx);
    const QDeadlineTimer deadline(renderBoundMs(renderTimeoutMs_, sheets));
    qCDebug(lcPrinting) << "rendering about" << sheets << "sheets within" << deadline.remainingTime() << "ms";
    auto result = std::make_shared<PendingAnswer<QByteArray>>();
    shown_->page->printToPdf([result](const QByteArray& pdf) { result->answer(pdf); }, layout);
    if (!result->waitUntil(deadline))
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing in time."));
    if (result->value.isEmpty())
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing."));
    return result->value;
}

void WebEngineBrowser::print()
{
    if (!holdsPreload()) {
        sendToDestination(printout());
        return;
    }
    // With the next entry loading out of sight, the page shown is rendered here,
    // and put on sheets and handed over on another thread while the event loop
    // keeps the load going. It is still handed over before this returns.
    const auto [setup, texts] = printSetup(std::exchange(nextDefaults_, std::nullopt));
    const QPageLayout sheet = sheetLayout(setup);
    const double scale = setup.scalePercent > 0 ? setup.scalePercent / 100.0 : 1.0;
    // Asked while this page renders, where it costs the run nothing.
    std::optional<PageSetup> nextDefaults;
    std::unique_ptr<QThread> asker(QThread::create([&nextDefaults] { nextDefaults = defaultPageSetup(); }));
    asker->start();
    const auto joinAsker = qScopeGuard([&asker] { asker->wait(); });
    QByteArray content;
    {
        const auto rendered = qScopeGuard([this] { startPendingPreload(); });
        content = renderPdf(engineLayout(sheet, scale));
    }
    const std::unique_ptr<PrintOutput> defaultOutput = printOutput() ? nullptr : makeRunOutput({});
    PrintOutput& output = printOutput() ? *printOutput() : *defaultOutput;
    const PrintedPage pageInfo { shown_->address,
        titleForPage(shown_->page->title(), shown_->page->url(), shown_->address), QByteArray() };
    std::exception_ptr failure;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        try {
            PrintedPage page = pageInfo;
            page.pdf = placeOnSheets(content, sheet, scale, setup.headerFooter ? std::optional(texts) : std::nullopt);
            output.deliver(page);
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    connect(asker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    while (!worker->isFinished() || !asker->isFinished())
        execOrWait(loop);
    worker->wait();
    asker->wait();
    nextDefaults_ = nextDefaults;
    if (failure)
        std::rethrow_exception(failure);
}

std::pair<PageSetup, HeaderFooterTexts> WebEngineBrowser::printSetup(const std::optional<PageSetup>& askedDefaults)
{
    const PageSetup defaults = askedDefaults ? *askedDefaults : defaultPageSetup();
    const PageSetup setup = settings_ ? loadPageSetup(*settings_, defaults) : defaults;
    QWebEngineSettings* settings = shown_->page->settings();
    if (settings->testAttribute(QWebEngineSettings::PrintElementBackgrounds) != setup.backgrounds) {
        settings->setAttribute(QWebEngineSettings::PrintElementBackgrounds, setup.backgrounds);
        // The engine takes changed settings on the next turn of the event loop.
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
    }
    fixedBarsOnce_ = setup.fixedBarsOnce;
    HeaderFooterTexts texts { shown_->page->title(), shown_->address,
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) };
    return { setup, texts };
}

QByteArray WebEngineBrowser::printout()
{
    const auto [setup, texts] = printSetup();
    return makePrintout(setup, texts, [this](const QPageLayout& layout) { return renderPdf(layout); });
}

void WebEngineBrowser::sendToDestination(const QByteArray& pdf)
{
    // The run's destination, or the default printer.
    const std::unique_ptr<PrintOutput> defaultOutput = printOutput() ? nullptr : makeRunOutput({});
    PrintOutput& output = printOutput() ? *printOutput() : *defaultOutput;
    output.deliver({ shown_->address, titleForPage(shown_->page->title(), shown_->page->url(), shown_->address), pdf });
}

void WebEngineBrowser::printPreview()
{
    // Exactly what Print All would send; printing from the preview sends it as is.
    const QByteArray pdf = printout();
    previewPdf(pdf, shown_->address, stack_->window(), [this, &pdf] { sendToDestination(pdf); });
}

} // namespace dv
