#include "webenginebrowser.h"

#include "cupsjob.h"
#include "destination.h"
#include "errors.h"
#include "pagesetup.h"
#include "pdfpreview.h"
#include "pdfstamp.h"
#include "printinglog.h"
#include "printrun.h"

#include <QAuthenticator>
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
#include <sys/types.h>

namespace dv
{

/// A page that answers every question itself instead of asking the user.
class SilentPage : public QWebEnginePage
{
public:
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

WebEngineBrowser::WebEngineBrowser(QWidget* parent, RegistryStore* settingsStore)
    : BrowserControl(parent)
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

    view_ = new QWebEngineView(parent);
    view_->setObjectName(QStringLiteral("browserView"));
    view_->setAccessibleName(QStringLiteral("Web page"));
    page_ = new SilentPage(profile_, this);
    QWebEngineSettings* settings = page_->settings();
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
    view_->setPage(page_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
            if (status == QWebEnginePage::NormalTerminationStatus)
                return;
            // A crashed page never completes on its own, and there is nothing left to
            // print; the next load starts a new render process.
            qCWarning(lcPrinting) << "page process ended:" << status << code;
            rendererGone_ = true;
            if (state_ != ReadyStateComplete) {
                awaitingStart_ = false;
                entryErrorReported_ = true;
                emit navigateError(address_);
                setState(ReadyStateComplete);
            }
        });
}

WebEngineBrowser::~WebEngineBrowser()
{
    // The page must go before its profile.
    if (view_)
        view_->setPage(nullptr);
    delete page_;
}

QWidget* WebEngineBrowser::widget()
{
    return view_;
}

QUrl WebEngineBrowser::urlForAddress(const QString& address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    return QUrl::fromUserInput(text, QDir::currentPath(), QUrl::AssumeLocalFile);
}

void WebEngineBrowser::setState(quint32 state)
{
    if (state_ == state)
        return;
    // Nobody goes back in a print run: keeping no history keeps long runs small.
    if (state == ReadyStateComplete)
        page_->history()->clear();
    state_ = state;
    emit readyStateChanged();
}

void WebEngineBrowser::navigate(const QString& address)
{
    address_ = address;
    sawStart_ = false;
    stopRequested_ = false;
    documentForEntry_ = false;
    entryErrorReported_ = false;
    const QUrl url = urlForAddress(address);
    if (url.scheme().compare(QLatin1String("javascript"), Qt::CaseInsensitive) == 0) {
        // A script entry would run inside whatever page is shown, with its origin:
        // it is refused, and nothing is loaded or printed for it.
        awaitingStart_ = false;
        setState(ReadyStateLoading);
        QTimer::singleShot(0, this, [this, address, navigation = ++navigations_] {
            if (navigation != navigations_)
                return;
            entryErrorReported_ = true;
            emit navigateError(address);
            setState(ReadyStateComplete);
        });
        return;
    }
    if (!url.isValid()) {
        // Nothing to load: it fails like an unreachable address, on a blank page.
        awaitingStart_ = true;
        documentForEntry_ = true; // the blank page is this entry's
        setState(ReadyStateLoading);
        QTimer::singleShot(0, this, [this, address] { emit navigateError(address); });
        rendererGone_ = false;
        page_->setHtml(QString());
        return;
    }
    const QUrl shown = page_->url();
    const bool sameDocument = state_ == ReadyStateComplete && !lastLoadFailed_ && url.hasFragment()
        && url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment);
    awaitingStart_ = !sameDocument;
    setState(ReadyStateLoading);
    const quint64 navigation = ++navigations_;
    rendererGone_ = false;
    documentForEntry_ = sameDocument;
    page_->load(url);
    if (sameDocument) {
        // Moving within the page shown loads nothing and the engine reports no load:
        // the document is complete as it is, unless a real load turns up first.
        QTimer::singleShot(0, this, [this, navigation] {
            if (navigation == navigations_ && !sawStart_)
                setState(ReadyStateComplete);
        });
    }
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    qCDebug(lcPrinting) << "loading" << info.status() << info.url() << info.errorDomain() << info.errorCode()
                        << info.isErrorPage();
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        awaitingStart_ = false;
        sawStart_ = true;
        setState(ReadyStateLoading);
        return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
        if (awaitingStart_)
            return;
        lastLoadFailed_ = true;
        // The server's page for an error status, or the engine's error page, is
        // this entry's page; without either the page before is still shown.
        documentForEntry_
            = info.isErrorPage() || info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
        entryErrorReported_ = true;
        emit navigateError(info.url().toString());
        setState(ReadyStateComplete);
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        if (awaitingStart_)
            return;
        lastLoadFailed_ = false;
        documentForEntry_ = true;
        setState(ReadyStateComplete);
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        if (awaitingStart_)
            return;
        lastLoadFailed_ = false;
        // Given up by us, the page prints as it stands. Stopped by the engine (the
        // answer was a download, or a file it will not show), nothing replaced the
        // page before; a later load of this entry may still bring one.
        if (stopRequested_)
            documentForEntry_ = true;
        setState(ReadyStateComplete);
        return;
    }
}

void WebEngineBrowser::stop()
{
    stopRequested_ = true;
    documentForEntry_ = true;
    page_->triggerAction(QWebEnginePage::Stop);
    awaitingStart_ = false;
    setState(ReadyStateComplete);
}

void WebEngineBrowser::requirePageOfEntry()
{
    if (!documentForEntry_) {
        if (!entryErrorReported_) {
            entryErrorReported_ = true;
            emit navigateError(address_);
        }
        throw PagePrintError(QStringLiteral("\"%1\" brought no page to print.").arg(address_));
    }
    if (rendererGone_)
        throw PagePrintError(QStringLiteral("The page's render process has ended."));
}

void WebEngineBrowser::endHungRenderer()
{
    const qint64 pid = page_->renderProcessPid();
    if (pid <= 0 || rendererGone_)
        return;
    qCWarning(lcPrinting) << "ending hung render process" << pid;
    ::kill(pid_t(pid), SIGKILL);
    // Wait for the engine to notice, so the news cannot reach the next entry.
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(page_, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    bound.start(5000);
    if (!rendererGone_)
        loop.exec();
    rendererGone_ = true;
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
    const QDeadlineTimer deadline(renderTimeoutMs_);
    // A script that never yields holds the render process, and the engine cannot
    // end a process with a print under way: ask it something small first, and end
    // it when no answer comes, so the next entry loads in a fresh one.
    auto probe = std::make_shared<PendingAnswer<bool>>();
    page_->runJavaScript(QStringLiteral("1"), QWebEngineScript::ApplicationWorld,
        [probe](const QVariant&) { probe->answer(true); });
    if (!probe->waitUntil(deadline)) {
        endHungRenderer();
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing in time."));
    }
    auto result = std::make_shared<PendingAnswer<QByteArray>>();
    page_->printToPdf([result](const QByteArray& pdf) { result->answer(pdf); }, layout);
    if (!result->waitUntil(deadline))
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing in time."));
    if (result->value.isEmpty())
        throw PagePrintError(QStringLiteral("The page could not be prepared for printing."));
    return result->value;
}

void WebEngineBrowser::print()
{
    sendToDestination(printout());
}

QByteArray WebEngineBrowser::printout()
{
    const PageSetup defaults = defaultPageSetup();
    const PageSetup setup = settings_ ? loadPageSetup(*settings_, defaults) : defaults;
    QWebEngineSettings* settings = page_->settings();
    if (settings->testAttribute(QWebEngineSettings::PrintElementBackgrounds) != setup.backgrounds) {
        settings->setAttribute(QWebEngineSettings::PrintElementBackgrounds, setup.backgrounds);
        // The engine takes changed settings on the next turn of the event loop.
        QEventLoop loop;
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const HeaderFooterTexts texts { page_->title(), address_,
        QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) };
    return makePrintout(setup, texts, [this](const QPageLayout& layout) { return renderPdf(layout); });
}

void WebEngineBrowser::sendToDestination(const QByteArray& pdf)
{
    // The run's destination, or the default printer.
    const std::unique_ptr<PrintOutput> defaultOutput = printOutput() ? nullptr : makeRunOutput({});
    PrintOutput& output = printOutput() ? *printOutput() : *defaultOutput;
    output.deliver({ address_, titleForPage(page_->title(), page_->url(), address_), pdf });
}

void WebEngineBrowser::printPreview()
{
    // Exactly what Print All would send; printing from the preview sends it as is.
    const QByteArray pdf = printout();
    previewPdf(pdf, address_, view_->window(), [this, &pdf] { sendToDestination(pdf); });
}

} // namespace dv
