#include "scriptedbrowser.h"

#include "errors.h"

#include <QLabel>
#include <QTimer>

namespace dv::test
{

ScriptedBrowser::ScriptedBrowser(QWidget* parent)
    : BrowserControl(parent)
    , view_(new QLabel(parent))
{
    view_->setObjectName(QStringLiteral("ScriptedBrowserView"));
    view_->setTextFormat(Qt::PlainText);
}

ScriptedBrowser::~ScriptedBrowser()
{
    // The view belongs to the pane when one was given; otherwise it is ours.
    if (!view_->parent())
        delete view_;
}

QWidget* ScriptedBrowser::widget()
{
    return view_;
}

void ScriptedBrowser::navigate(const QString& address)
{
    if (onNavigate)
        onNavigate(address);
    if (!navigateFailure.isEmpty())
        throw AppError(navigateFailure);
    navigations << address;
    loading_ = address;
    const quint64 generation = ++generation_;
    loadStartedAgoMs_ = 0;
    if (!ahead_.isEmpty() && ahead_ == address) {
        takenOver << address;
        ahead_.clear();
        loadStartedAgoMs_ = aheadClock_.elapsed();
        state_ = ReadyStateLoading;
        if (aheadDone_) {
            complete(generation, address);
        } else {
            // Still loading: it completes when the load begun ahead ends.
            emit readyStateChanged();
            const quint64 ahead = aheadGeneration_;
            connect(this, &ScriptedBrowser::aheadEnded, this, [this, generation, ahead, address](quint64 ended) {
                if (ended == ahead)
                    complete(generation, address);
            }, Qt::SingleShotConnection);
        }
        return;
    }
    dropPreload();
    state_ = ReadyStateLoading;
    emit readyStateChanged();
    if (hanging.contains(address))
        return;
    QTimer::singleShot(loadMs, this, [this, generation, address] { complete(generation, address); });
}

void ScriptedBrowser::complete(quint64 generation, const QString& address)
{
    if (generation != generation_ || state_ == ReadyStateComplete)
        return; // a later navigation or stop() replaced this load
    if (failing.contains(address))
        emit navigateError(address);
    shown = address;
    view_->setText(address);
    state_ = ReadyStateComplete;
    emit readyStateChanged();
}

void ScriptedBrowser::preload(const QString& address)
{
    preloads << address;
    dropPreload();
    if (address.isEmpty())
        return;
    ahead_ = address;
    aheadDone_ = false;
    aheadClock_.start();
    const quint64 ahead = ++aheadGeneration_;
    if (hanging.contains(address))
        return;
    QTimer::singleShot(loadMs, this, [this, ahead] {
        if (ahead != aheadGeneration_)
            return;
        aheadDone_ = true;
        emit aheadEnded(ahead);
    });
}

void ScriptedBrowser::dropPreload()
{
    if (ahead_.isEmpty())
        return;
    discarded << ahead_;
    ahead_.clear();
    ++aheadGeneration_;
}

void ScriptedBrowser::stop()
{
    ++stops;
    if (state_ == ReadyStateComplete)
        return;
    ++generation_;
    // What a stopped load leaves on screen: the address it was loading.
    shown = loading_;
    view_->setText(loading_);
    state_ = ReadyStateComplete;
    emit readyStateChanged();
}

void ScriptedBrowser::print()
{
    if (onPrint)
        onPrint(shown);
    if (!printFailure.isEmpty())
        throw AppError(printFailure);
    if (unprintable.contains(shown))
        throw PagePrintError(QStringLiteral("not printable"));
    printed << shown;
}

void ScriptedBrowser::printPreview()
{
    if (onPreview)
        onPreview(shown);
    if (!previewFailure.isEmpty())
        throw AppError(previewFailure);
    previewed << shown;
}

} // namespace dv::test
