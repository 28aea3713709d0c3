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
