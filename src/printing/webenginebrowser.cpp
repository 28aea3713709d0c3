#include "webenginebrowser.h"

#include "cupsjob.h"
#include "errors.h"
#include "printinglog.h"
#include "printrun.h"

#include <QAuthenticator>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
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
#include <QWebEngineSettings>
#include <QWebEngineView>

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

WebEngineBrowser::WebEngineBrowser(QWidget* parent)
    : BrowserControl(parent)
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
    view_->setPage(page_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(page_, &QWebEnginePage::renderProcessTerminated, this,
        [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
            if (status == QWebEnginePage::NormalTerminationStatus)
                return;
            // A crashed page never completes on its own; what it shows is what prints.
            qCWarning(lcPrinting) << "page process ended:" << status << code;
            if (state_ != ReadyStateComplete) {
                awaitingStart_ = false;
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
    const QUrl url = urlForAddress(address);
    if (!url.isValid()) {
        // Nothing to load: it fails like an unreachable address, on a blank page.
        awaitingStart_ = true;
        setState(ReadyStateLoading);
        QTimer::singleShot(0, this, [this, address] { emit navigateError(address); });
        page_->setHtml(QString());
        return;
    }
    const QUrl shown = page_->url();
    const bool sameDocument = state_ == ReadyStateComplete && !lastLoadFailed_ && url.hasFragment()
        && url.adjusted(QUrl::RemoveFragment) == shown.adjusted(QUrl::RemoveFragment);
    awaitingStart_ = !sameDocument;
    setState(ReadyStateLoading);
    const quint64 navigation = ++navigations_;
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
        emit navigateError(info.url().toString());
        setState(ReadyStateComplete);
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        if (awaitingStart_)
            return;
        lastLoadFailed_ = false;
        setState(ReadyStateComplete);
        return;
    }
}

void WebEngineBrowser::stop()
{
    page_->triggerAction(QWebEnginePage::Stop);
    awaitingStart_ = false;
    setState(ReadyStateComplete);
}

QByteArray WebEngineBrowser::renderPdf(const QPageLayout& layout)
{
    struct Result {
        bool done = false;
        QByteArray pdf;
        QEventLoop* loop = nullptr;
    };
    // Shared with the callback, which may still come after a time-out.
    auto result = std::make_shared<Result>();
    page_->printToPdf(
        [result](const QByteArray& pdf) {
            result->pdf = pdf;
            result->done = true;
            if (result->loop)
                result->loop->quit();
        },
        layout);
    const QDeadlineTimer deadline(printTimeoutMs);
    while (!result->done && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer wake;
        wake.setSingleShot(true);
        connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
        wake.start(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        result->loop = &loop;
        execOrWait(loop);
        result->loop = nullptr;
    }
    if (!result->done)
        throw AppError(QStringLiteral("The page could not be prepared for printing in time."));
    if (result->pdf.isEmpty())
        throw AppError(QStringLiteral("The page could not be prepared for printing."));
    return result->pdf;
}

void WebEngineBrowser::print()
{
    const QString destination = defaultPrinterName();
    // The paper and margins the default printer is set up with.
    const QPrinterInfo info = QPrinterInfo::printerInfo(destination);
    if (info.isNull())
        throw AppError(QStringLiteral("The default printer \"%1\" cannot be used.").arg(destination));
    QPrinter printer(info, QPrinter::HighResolution);
    const QByteArray pdf = renderPdf(printer.pageLayout());
    const int job = submitPdfJob(destination, address_, pdf);
    qCDebug(lcPrinting) << "job" << job << "sent to" << destination << pdf.size() << "bytes";
}

void WebEngineBrowser::printPreview()
{
    const QString destination = defaultPrinterName();
    const QPrinterInfo info = QPrinterInfo::printerInfo(destination);
    if (info.isNull())
        throw AppError(QStringLiteral("The default printer \"%1\" cannot be used.").arg(destination));
    QPrinter printer(info, QPrinter::HighResolution);
    QPrintPreviewDialog dialog(&printer, view_->window());
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        // The view prints asynchronously; the preview needs the pages drawn before it goes on.
        QEventLoop loop;
        bool finished = false;
        connect(view_, &QWebEngineView::printFinished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        view_->print(target);
        while (!finished)
            execOrWait(loop);
    });
    dialog.exec();
}

} // namespace dv
