#include "scriptedpagesource.h"

#include "errors.h"

#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace dv::test
{

ScriptedPageSource::ScriptedPageSource(QWidget* parent)
    : PageSource(parent)
    , view_(new QLabel(parent))
{
    view_->setObjectName(QStringLiteral("ScriptedBrowserView"));
    view_->setTextFormat(Qt::PlainText);
    pages_.resize(1);
}

ScriptedPageSource::~ScriptedPageSource()
{
    // The view belongs to the pane when one was given; otherwise it is ours.
    if (!view_->parent())
        delete view_;
}

void ScriptedPageSource::setPageCount(int count)
{
    pages_.resize(size_t(std::max(count, 1)));
}

QWidget* ScriptedPageSource::widget()
{
    return view_;
}

void ScriptedPageSource::load(int page, const QString& address)
{
    if (refused.contains(address))
        throw AppError(loadFailure);
    loads << address;
    Page& p = pages_.at(size_t(page));
    p.address = address;
    p.held = true;
    p.wasShown = false;
    lostPages.remove(page);
    const quint64 generation = ++p.generation;
    justLoaded_ = page;
    noteHeld();
    if (hanging.contains(address))
        return;
    QTimer::singleShot(loadMsFor.value(address, loadMs), this, [this, page, generation] { finishLoad(page, generation); });
}

void ScriptedPageSource::finishLoad(int page, quint64 generation)
{
    const Page& p = pages_.at(size_t(page));
    if (generation != p.generation)
        return; // let go, stopped or loaded anew meanwhile
    if (failing.contains(p.address))
        emit navigateError(page, p.address);
    emit loaded(page);
}

void ScriptedPageSource::stopLoading(int page)
{
    ++stops;
    ++pages_.at(size_t(page)).generation;
}

void ScriptedPageSource::show(int page)
{
    Page& p = pages_.at(size_t(page));
    if (onNavigate)
        onNavigate(p.address);
    navigations << p.address;
    if (justLoaded_ != page)
        takenOver << p.address;
    justLoaded_ = -1;
    p.wasShown = true;
    shown = p.address;
    view_->setText(p.address);
}

void ScriptedPageSource::render(int page)
{
    justLoaded_ = -1;
    const Page& p = pages_.at(size_t(page));
    const QString address = p.address;
    if (onPrint)
        onPrint(address);
    const quint64 generation = p.generation;
    QTimer::singleShot(renderMs, this, [this, page, generation, address] {
        if (generation != pages_.at(size_t(page)).generation)
            return;
        if (!printFailure.isEmpty()) {
            emit renderFailed(page, printFailure, true);
            return;
        }
        if (unprintable.contains(address)) {
            emit renderFailed(page, QStringLiteral("not printable"), false);
            return;
        }
        printed << address;
        RenderedPage printedPage;
        printedPage.address = address;
        printedPage.title = address;
        printedPage.pdf = address.toUtf8();
        printedPage.sheets = 1;
        emit rendered(page, printedPage);
    });
}

void ScriptedPageSource::release(int page)
{
    justLoaded_ = -1;
    Page& p = pages_.at(size_t(page));
    if (p.held && !p.wasShown)
        discarded << p.address;
    p.held = false;
    ++p.generation;
}

void ScriptedPageSource::noteHeld()
{
    mostHeld = std::max<int>(mostHeld, int(std::count_if(pages_.begin(), pages_.end(), [](const Page& p) { return p.held; })));
}

} // namespace dv::test
