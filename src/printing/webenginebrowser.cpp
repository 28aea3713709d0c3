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

bool isScript(const QUrl& url)
{
    return url.scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0;
}

// Answers with the default printer's set-up, asked on another thread.
std::shared_ptr<std::optional<PageSetup>> askDefaultsOffThread(QObject* owner)
{
    auto asked = std::make_shared<std::optional<PageSetup>>();
    QThread* asker = QThread::create([asked] {
        try {
            *asked = defaultPageSetup();
        } catch (...) {
            // Asked again, here, when the page renders; the failure shows there.
        }
    });
    asker->setParent(owner);
    QObject::connect(asker, &QThread::finished, asker, &QObject::deleteLater);
    asker->start();
    return asked;
}

} // namespace

// One render of one page; the steps of render() pass it on. A render the page has
// moved past (released, loaded anew or rendered again) only drops out.
struct WebEngineBrowser::RenderJob {
    Tab* tab = nullptr;
    quint64 render = 0;
    quint64 navigation = 0;
    PageSetup setup;
    HeaderFooterTexts texts;
    QPageLayout sheet;
    double scale = 1.0;
    QString title;
    QUrl url;
    bool answered = false;
};

WebEngineBrowser::WebEngineBrowser(QWidget* parent, RegistryStore* settingsStore)
    : PageSource(parent)
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
    setPageCount(1);
    stack_->setCurrentWidget(tabs_.front()->view);
}

WebEngineBrowser::~WebEngineBrowser()
{
    // Work on other threads holds nothing of the pages, but must end before this does.
    for (QThread* thread : findChildren<QThread*>())
        thread->wait();
    // The pages must go before their profile.
    while (!tabs_.empty()) {
        removePage(*tabs_.back());
        tabs_.pop_back();
    }
}

void WebEngineBrowser::setPageCount(int count)
{
    count = std::max(count, 1);
    while (int(tabs_.size()) < count) {
        tabs_.push_back(std::make_unique<Tab>());
        tabs_.back()->index = int(tabs_.size()) - 1;
        makePage(*tabs_.back());
    }
    // Fewer pages than before: the ones past the count are kept, since news of their
    // last entry may still be on its way, but let go of what they hold.
    if (stack_ && stack_->currentIndex() >= count)
        show(0);
    for (size_t i = size_t(count); i < tabs_.size(); ++i) {
        Tab& spare = *tabs_[i];
        const bool loading = spare.lifecycle == PageState::Loading;
        ++spare.navigations;
        ++spare.renders;
        spare.loadDeferred = false;
        if (spare.lifecycle != PageState::Gone)
            moveTo(spare, PageState::Idle);
        if (loading)
            spare.page->triggerAction(QWebEnginePage::Stop);
        spare.page->setHtml(QString());
    }
    pageCount_ = count;
}

WebEngineBrowser::Tab& WebEngineBrowser::tab(int page) const
{
    if (page < 0 || page >= pageCount_)
        throw AppError(QStringLiteral("There is no page %1 to print.").arg(page));
    return *tabs_[size_t(page)];
}

void WebEngineBrowser::makePage(Tab& tab)
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
}

void WebEngineBrowser::removePage(Tab& tab)
{
    if (tab.view)
        tab.view->setPage(nullptr);
    delete tab.page;
    delete tab.view;
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
    tab.sawStart = false;
    tab.stopRequested = false;
    tab.documentForEntry = false;
    tab.entryErrorReported = false;
    tab.httpStatus = 0;
    tab.retakes = 0;
    tab.foreignLoadStarted = false;
    tab.loadDeferred = false;
    tab.refusedUrls.clear();
    tab.loadRetried = false;
    ++tab.navigations;
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
// both live as long as this source (or until a run asks for fewer pages): a page is never handed to another view (the
// engine may replace its render widget while it is out of sight, and the view would
// then use the one it replaced), and no page is deleted while a run may hold it.
//   Idle      holds no entry: a page just made, or one whose entry was let go.
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
        case S::Loading:
            return from != S::Rendering;
        case S::Loaded:
            return true;
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
}

void WebEngineBrowser::reportError(Tab& tab, const QString& url)
{
    tab.entryErrorReported = true;
    emit navigateError(tab.index, url);
}

void WebEngineBrowser::onRendererGone(Tab& tab)
{
    // A crashed page never completes on its own, and there is nothing left to
    // print; the next load starts a new render process.
    const bool loading = tab.lifecycle == PageState::Loading;
    const bool rendering = tab.lifecycle == PageState::Rendering;
    tab.engineLoading = false;
    tab.loadDeferred = false;
    if (loading && !tab.loadRetried && QDeadlineTimer::current().deadline() - hungRendererEndedMs_ < 3000) {
        // Ended by us, as the hung process of a page let go: the load it took along is
        // this entry's no fault, and starts again in a new process, once.
        tab.loadRetried = true;
        tab.awaitingStart = true;
        qCInfo(lcPrinting) << "loading" << tab.requestedUrl << "again after the hung process was ended";
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, navigation = tab.navigations] {
            if (navigation == owner->navigations && owner->lifecycle == PageState::Loading)
                startLoad(*owner, owner->requestedUrl);
        });
        return;
    }
    moveTo(tab, PageState::Gone);
    if (rendering) {
        // The render under way will hear nothing more from the page.
        ++tab.renders;
        emit renderFailed(tab.index, QStringLiteral("The page's render process has ended."), false);
        return;
    }
    if (!loading)
        return;
    tab.awaitingStart = false;
    reportError(tab, tab.address);
    setReadyState(tab, ReadyStateComplete);
    emit loaded(tab.index);
}

void WebEngineBrowser::load(int page, const QString& address)
{
    Tab& tab = this->tab(page);
    qCDebug(lcPrinting) << "load:" << address << "in page" << page;
    const bool wasLoading = tab.lifecycle == PageState::Loading;
    const bool wasSettled = tab.lifecycle == PageState::Loaded || tab.lifecycle == PageState::Idle;
    beginEntry(tab, address);
    // Asked now, it is ready by the time the page prints.
    tab.defaults = askDefaultsOffThread(this);
    const QUrl url = urlForAddress(address);
    if (isScript(url)) {
        // A script entry would run inside whatever page is shown, with its origin:
        // it is refused, and nothing is loaded or printed for it; loads the page
        // makes meanwhile are not this entry's.
        if (wasLoading)
            tab.page->triggerAction(QWebEnginePage::Stop);
        tab.awaitingStart = false;
        moveTo(tab, PageState::Loaded);
        setReadyState(tab, ReadyStateLoading);
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, address, navigation = tab.navigations] {
            if (navigation != owner->navigations)
                return;
            reportError(*owner, address);
            setReadyState(*owner, ReadyStateComplete);
            emit loaded(owner->index);
        });
        return;
    }
    if (!url.isValid()) {
        // Nothing to load: it fails like an unreachable address, on a blank page.
        tab.awaitingStart = true;
        tab.documentForEntry = true; // the blank page is this entry's
        moveTo(tab, PageState::Loading);
        setReadyState(tab, ReadyStateLoading);
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, address, navigation = tab.navigations] {
            if (navigation == owner->navigations)
                reportError(*owner, address);
        });
        tab.page->setHtml(QString());
        return;
    }
    const QUrl shown = tab.page->url();
    // The page holds that document, loaded in full (for this entry or one before).
    const bool sameDocument = tab.readyState == ReadyStateComplete && wasSettled && !tab.lastLoadFailed
        && url.hasFragment()
        && url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment);
    tab.awaitingStart = !sameDocument;
    moveTo(tab, PageState::Loading);
    setReadyState(tab, ReadyStateLoading);
    tab.documentForEntry = sameDocument;
    startLoad(tab, url);
    if (sameDocument) {
        // Moving within the page shown loads nothing and the engine reports no load:
        // the document is complete as it is, unless a real load turns up first.
        Tab* owner = &tab;
        QTimer::singleShot(0, this, [this, owner, navigation = tab.navigations] {
            if (navigation == owner->navigations && !owner->sawStart && owner->lifecycle == PageState::Loading)
                finishLoad(*owner);
        });
    }
}

void WebEngineBrowser::onLoadingChanged(Tab& tab, const QWebEngineLoadingInfo& info)
{
    qCDebug(lcPrinting) << "loading" << info.status() << info.url() << info.errorDomain() << info.errorCode()
                        << info.isErrorPage() << "page" << tab.index;
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
    if (tab.lifecycle != PageState::Loading)
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
        if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
            tab.httpStatus = info.errorCode();
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
    emit loaded(tab.index);
}

void WebEngineBrowser::stopLoading(int page)
{
    Tab& tab = this->tab(page);
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
        moveTo(tab, PageState::Loaded);
    setReadyState(tab, ReadyStateComplete);
}

void WebEngineBrowser::show(int page)
{
    stack_->setCurrentWidget(tab(page).view);
}

void WebEngineBrowser::release(int page)
{
    Tab& tab = this->tab(page);
    const bool loading = tab.lifecycle == PageState::Loading;
    const bool holdsDocument = tab.lifecycle == PageState::Loaded || tab.lifecycle == PageState::Rendering;
    ++tab.navigations;
    tab.loadDeferred = false;
    tab.defaults.reset();
    if (tab.lifecycle != PageState::Gone)
        moveTo(tab, PageState::Idle);
    if (loading)
        tab.page->triggerAction(QWebEnginePage::Stop);
    if (holdsDocument)
        endRendererIfHung(tab);
}

void WebEngineBrowser::endRendererIfHung(Tab& tab)
{
    // A page may start a script that never yields after it printed. Its process would
    // then take every later load of its site along, in this page or another: asked
    // something small as the page is let go, a process that does not answer is ended.
    const qint64 pid = tab.page->renderProcessPid();
    if (pid <= 0)
        return;
    auto answered = std::make_shared<bool>(false);
    tab.page->runJavaScript(QStringLiteral("0"), QWebEngineScript::UserWorld,
        [answered](const QVariant&) { *answered = true; });
    Tab* owner = &tab;
    QTimer::singleShot(HungRendererProbeMs, this, [this, owner, answered, pid] {
        // A later entry whose page came meanwhile shows the process is alive.
        if (*answered || owner->page->renderProcessPid() != pid || owner->lifecycle == PageState::Loaded
            || owner->lifecycle == PageState::Rendering)
            return;
        qCWarning(lcPrinting) << "ending the render process of a page let go, which does not answer:" << pid;
        hungRendererEndedMs_ = QDeadlineTimer::current().deadline();
        ::kill(pid_t(pid), SIGKILL);
    });
}

bool WebEngineBrowser::lost(int page) const
{
    return tab(page).lifecycle == PageState::Gone;
}

template <typename Work, typename Then>
void WebEngineBrowser::runOffThread(Work work, Then then)
{
    using Result = decltype(work());
    auto result = std::make_shared<Result>();
    auto failure = std::make_shared<std::exception_ptr>();
    QThread* thread = QThread::create([work = std::move(work), result, failure] {
        try {
            *result = work();
        } catch (...) {
            *failure = std::current_exception();
        }
    });
    thread->setParent(this);
    connect(thread, &QThread::finished, this, [thread, result, failure, then = std::move(then)] {
        thread->wait();
        thread->deleteLater();
        then(std::move(*result), *failure);
    });
    thread->start();
}

bool WebEngineBrowser::current(const RenderJob& job) const
{
    return job.tab->renders == job.render && job.tab->navigations == job.navigation
        && job.tab->lifecycle == PageState::Rendering;
}

void WebEngineBrowser::failRender(const std::shared_ptr<RenderJob>& job, const QString& message, bool wholeRun)
{
    Tab& tab = *job->tab;
    ++tab.renders;
    if (tab.lifecycle == PageState::Rendering)
        moveTo(tab, PageState::Loaded);
    emit renderFailed(tab.index, message, wholeRun);
}

void WebEngineBrowser::render(int page)
{
    Tab& tab = this->tab(page);
    auto job = std::make_shared<RenderJob>();
    job->tab = &tab;
    job->render = ++tab.renders;
    job->navigation = tab.navigations;
    // Nothing is told before this returns.
    auto failLater = [this, job](const QString& message) {
        QTimer::singleShot(0, this, [this, job, message] {
            if (job->tab->renders == job->render && job->tab->navigations == job->navigation)
                emit renderFailed(job->tab->index, message, false);
        });
    };
    if (!tab.documentForEntry) {
        if (!tab.entryErrorReported) {
            tab.entryErrorReported = true;
            QTimer::singleShot(0, this, [this, job] {
                if (job->tab->navigations == job->navigation)
                    emit navigateError(job->tab->index, job->tab->address);
            });
        }
        failLater(QStringLiteral("\"%1\" brought no page to print.").arg(tab.address));
        return;
    }
    if (tab.lifecycle == PageState::Gone) {
        failLater(QStringLiteral("The page's render process has ended."));
        return;
    }
    if (!moveTo(tab, PageState::Rendering)) {
        failLater(QStringLiteral("The page is not ready to print."));
        return;
    }
    job->title = titleForPage(tab.page->title(), tab.page->url(), tab.address);
    job->url = tab.page->url();
    job->texts = { tab.page->title(), tab.address, QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) };
    // The default printer's set-up, asked while the page loaded; asked here when that failed.
    auto asked = tab.defaults ? tab.defaults : std::make_shared<std::optional<PageSetup>>();
    runOffThread(
        [asked]() -> PageSetup {
            // The thread that asked while the page loaded may still be asking: its
            // answer is used when it came, and the question is put again otherwise.
            return asked->has_value() ? **asked : defaultPageSetup();
        },
        [this, job](PageSetup defaults, std::exception_ptr failure) {
            if (!current(*job))
                return;
            if (failure) {
                failRender(job, errorMessage(failure), true);
                return;
            }
            job->setup = settings_ ? loadPageSetup(*settings_, defaults) : defaults;
            job->sheet = sheetLayout(job->setup);
            job->scale = job->setup.scalePercent > 0 ? job->setup.scalePercent / 100.0 : 1.0;
            QWebEngineSettings* settings = job->tab->page->settings();
            if (settings->testAttribute(QWebEngineSettings::PrintElementBackgrounds) != job->setup.backgrounds) {
                settings->setAttribute(QWebEngineSettings::PrintElementBackgrounds, job->setup.backgrounds);
                // The engine takes changed settings on the next turn of the event loop.
                QTimer::singleShot(0, this, [this, job] {
                    if (current(*job))
                        renderWithSetup(job);
                });
                return;
            }
            renderWithSetup(job);
        });
}

void WebEngineBrowser::renderWithSetup(const std::shared_ptr<RenderJob>& job)
{
    // A script that never yields holds the render process, and the engine cannot
    // end a process with a print under way: ask it something small first, and end
    // it when no answer comes, so the next entry loads in a fresh one. The question
    // readies the page for print and answers its size, for how long that may take.
    job->tab->page->runJavaScript(printPreparationScript(job->setup.fixedBarsOnce), QWebEngineScript::UserWorld,
        [this, job](const QVariant& size) {
            if (!current(*job) || job->answered)
                return;
            job->answered = true;
            renderProbed(job, size);
        });
    QTimer::singleShot(renderTimeoutMs_, this, [this, job] {
        if (!current(*job) || job->answered)
            return;
        job->answered = true;
        endHungRenderer(*job->tab, [this, job] {
            failRender(job, QStringLiteral("The page could not be prepared for printing in time."));
        });
    });
}

void WebEngineBrowser::renderProbed(const std::shared_ptr<RenderJob>& job, const QVariant& size)
{
    // A renderer that answered is busy, not hung: a big page gets the time its sheets take.
    const QPageLayout layout = engineLayout(job->sheet, job->scale);
    const QVariantList extent = size.toList();
    const QSizeF sheetPx = layout.fullRect(QPageLayout::Point).size() * (96.0 / 72.0);
    const int sheets = estimatedSheets(extent.value(0).toDouble(), extent.value(1).toDouble(), sheetPx);
    const int boundMs = renderBoundMs(renderTimeoutMs_, sheets);
    qCDebug(lcPrinting) << "rendering about" << sheets << "sheets within" << boundMs << "ms";
    auto done = std::make_shared<bool>(false);
    job->tab->page->printToPdf(
        [this, job, done](const QByteArray& pdf) {
            if (*done || !current(*job))
                return;
            *done = true;
            if (pdf.isEmpty()) {
                failRender(job, QStringLiteral("The page could not be prepared for printing."));
                return;
            }
            renderPlaced(job, pdf);
        },
        layout);
    QTimer::singleShot(boundMs, this, [this, job, done] {
        if (*done || !current(*job))
            return;
        *done = true;
        failRender(job, QStringLiteral("The page could not be prepared for printing in time."));
    });
}

void WebEngineBrowser::renderPlaced(const std::shared_ptr<RenderJob>& job, const QByteArray& content)
{
    // Put on sheets on another thread, while the other pages go on loading.
    const std::optional<HeaderFooterTexts> texts
        = job->setup.headerFooter ? std::optional(job->texts) : std::nullopt;
    runOffThread([content, sheet = job->sheet, scale = job->scale,
                     texts] { return placeOnSheets(content, sheet, scale, texts); },
        [this, job](QByteArray pdf, std::exception_ptr failure) {
            if (!current(*job))
                return;
            if (failure) {
                // A page that cannot be put on sheets fails alone; anything else ends the run.
                bool pageAlone = false;
                try {
                    std::rethrow_exception(failure);
                } catch (const PagePrintError&) {
                    pageAlone = true;
                } catch (...) {
                }
                failRender(job, errorMessage(failure), !pageAlone);
                return;
            }
            Tab& tab = *job->tab;
            ++tab.renders;
            moveTo(tab, PageState::Loaded);
            RenderedPage printed { tab.address, job->title, job->url, tab.httpStatus, pdf, pdfPageCount(pdf) };
            emit rendered(tab.index, printed);
        });
}

void WebEngineBrowser::endHungRenderer(Tab& tab, std::function<void()> then)
{
    const qint64 pid = tab.page->renderProcessPid();
    if (pid <= 0 || tab.lifecycle == PageState::Gone) {
        then();
        return;
    }
    qCWarning(lcPrinting) << "ending hung render process" << pid;
    ::kill(pid_t(pid), SIGKILL);
    // Told once the engine noticed, so the news cannot reach the next entry.
    auto told = std::make_shared<bool>(false);
    auto tell = [told, then] {
        if (!std::exchange(*told, true))
            then();
    };
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(tab.page.data(), &QWebEnginePage::renderProcessTerminated, this, [tell, connection] {
        disconnect(*connection);
        tell();
    });
    QTimer::singleShot(5000, this, [tell, connection] {
        disconnect(*connection);
        tell();
    });
}

} // namespace dv
