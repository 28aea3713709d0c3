#include "runengine.h"

#include "printrun.h"
#include "runoutput.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>

Q_LOGGING_CATEGORY(lcRun, "dorvantis.run", QtWarningMsg)

namespace dv
{

namespace
{

// Milliseconds of a clock that never goes back; fractions count, so a delay
// measured on it is never a fraction short.
double nowMs()
{
    return double(QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs()) / 1e6;
}

} // namespace

RunEntries RunEntries::fixed(const QStringList& entries)
{
    return { [entries] { return qint64(entries.size()); },
        [entries](qint64 position) {
            if (position < 0 || position >= entries.size())
                throw AppError(QStringLiteral("List index out of bounds (%1)").arg(position));
            return entries.at(position);
        } };
}

QString errorLogLine(EntryFailure kind, const QString& subject)
{
    return (kind == EntryFailure::NavigateError ? QStringLiteral("Navigate Error: ") : QStringLiteral("Print Error: "))
        + subject;
}

// One page of the source and the entry it holds for the run.
struct RunEngine::Slot {
    enum class Stage { Free, Loading, Loaded, Rendering, Rendered, Failed };
    int page = 0;
    Stage stage = Stage::Free;
    qint64 position = -1;
    QString address;
    double loadStartMs = 0;
    double loadEndMs = 0;
    double renderStartMs = 0;
    double renderEndMs = 0;
    // When its delay is over; set once its turn has come and its load ended.
    double printDeadlineMs = -1;
    // Navigation errors met before the entry's turn, logged when it comes.
    QStringList heldErrors;
    bool givenUp = false;
    int errorLines = 0;
    bool printErrorLogged = false;
    // The entry as the list held it when the page went to print.
    QString printingAddress;
    bool announced = false;
    RenderedPage printed;
};

RunEngine::RunEngine(PageSource& source, RunOutput& output, RunEntries entries, RunSettings settings, QObject* parent)
    : QObject(parent)
    , source_(source)
    , output_(output)
    , entries_(std::move(entries))
    , settings_(std::move(settings))
{
    settings_.pagesAtOnce = std::clamp(settings_.pagesAtOnce, 1, MaxPagesAtOnce);
    wake_ = new QTimer(this);
    wake_->setObjectName(QStringLiteral("delayTimer"));
    wake_->setSingleShot(true);
    wake_->setTimerType(Qt::PreciseTimer);
    connect(wake_, &QTimer::timeout, this, &RunEngine::step);
}

RunEngine::~RunEngine()
{
    for (const auto& connection : std::as_const(connections_))
        disconnect(connection);
    if (worker_)
        worker_->wait();
}

void RunEngine::start()
{
    if (running_)
        return;
    running_ = true;
    startedMs_ = nowMs();
    source_.setPageCount(settings_.pagesAtOnce);
    for (int page = 0; page < source_.pageCount(); ++page) {
        slots_.push_back(std::make_unique<Slot>());
        slots_.back()->page = page;
    }
    connections_ << connect(&source_, &PageSource::loaded, this, &RunEngine::onLoaded)
                 << connect(&source_, &PageSource::navigateError, this, &RunEngine::onNavigateError)
                 << connect(&source_, &PageSource::rendered, this, &RunEngine::onRendered)
                 << connect(&source_, &PageSource::renderFailed, this, &RunEngine::onRenderFailed);
    qint64 count = 0;
    try {
        count = entries_.count();
    } catch (...) {
        abort(std::current_exception());
        return;
    }
    // Where the pages go is looked at first: a destination no page could reach
    // ends the run before its first page.
    runOutside([this, count] {
        output_.open(count);
        return QString();
    }, [this](const QString&, std::exception_ptr failure) {
        if (failure)
            abort(failure);
        else
            scheduleStep();
    });
}

void RunEngine::endDelayNow()
{
    if (Slot* slot = running_ ? slotFor(front_) : nullptr; slot && slot->printDeadlineMs >= 0) {
        slot->printDeadlineMs = nowMs();
        scheduleStep();
    }
}

void RunEngine::scheduleStep()
{
    if (stepQueued_ || !running_)
        return;
    stepQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        stepQueued_ = false;
        step();
    });
}

// Takes the entry whose turn it is one stage further, as far as it can go now.
void RunEngine::step()
{
    if (!running_ || worker_)
        return;
    // Whatever the timer waited for, this step looks afresh.
    wake_->stop();
    using Stage = Slot::Stage;
    try {
        if (!frontStarted_) {
            if (front_ >= entries_.count()) {
                finishRun();
                return;
            }
            startFront();
        }
        Slot& slot = *slotFor(front_);
        const double now = nowMs();
        switch (slot.stage) {
        case Stage::Free:
            return;
        case Stage::Loading: {
            // A load begun ahead of its turn has had part of its time already.
            const double bound = slot.loadStartMs + double(settings_.loadTimeoutMs);
            if (settings_.loadTimeoutMs < 0)
                return;
            if (now < bound) {
                waitUntil(bound);
                return;
            }
            // Given up: what the page shows so far is printed, and the run goes on.
            source_.stopLoading(slot.page);
            slot.givenUp = true;
            slot.stage = Stage::Loaded;
            slot.loadEndMs = now;
            logFailure(slot, EntryFailure::NavigateError, slot.address);
            if (!running_)
                return;
            [[fallthrough]];
        }
        case Stage::Loaded:
            if (slot.printDeadlineMs < 0)
                slot.printDeadlineMs = slot.loadEndMs + double(settings_.delaySeconds()) * 1000.0;
            loadAhead();
            if (nowMs() < slot.printDeadlineMs) {
                waitUntil(slot.printDeadlineMs);
                return;
            }
            slot.printingAddress = entries_.at(front_);
            slot.announced = true;
            emit entryPrinting(front_, slot.printingAddress);
            if (!running_)
                return;
            slot.stage = Stage::Rendering;
            slot.renderStartMs = nowMs();
            source_.render(slot.page);
            return;
        case Stage::Rendering:
            return;
        case Stage::Rendered:
            deliverFront();
            return;
        case Stage::Failed:
            completeFront();
            return;
        }
    } catch (...) {
        abort(std::current_exception());
    }
}

void RunEngine::startFront()
{
    const QString address = entries_.at(front_);
    emit entryStarted(front_, address);
    if (!running_)
        return;
    Slot* slot = slotFor(front_);
    // Loaded ahead for another entry (the list changed), or its render process went
    // down with another page's: the entry is loaded afresh.
    if (slot && (slot->address != address || source_.lost(slot->page))) {
        qCDebug(lcRun) << "the page loaded ahead for" << slot->address << "is not used for" << address;
        releaseSlot(*slot);
        slot = nullptr;
    }
    frontStarted_ = true;
    if (!slot) {
        slot = &freeSlot();
        loadInto(*slot, front_, address);
    } else {
        qCDebug(lcRun) << "taking over the page loaded ahead for" << address;
    }
    source_.show(slot->page);
    for (const QString& url : std::exchange(slot->heldErrors, {}))
        logFailure(*slot, EntryFailure::NavigateError, url);
}

void RunEngine::loadInto(Slot& slot, qint64 position, const QString& address)
{
    const int page = slot.page;
    slot = Slot();
    slot.page = page;
    slot.position = position;
    slot.address = address;
    slot.stage = Slot::Stage::Loading;
    slot.loadStartMs = nowMs();
    try {
        source_.load(page, address);
    } catch (...) {
        slot.stage = Slot::Stage::Free;
        slot.position = -1;
        throw;
    }
}

// The entries after the one whose turn it is load in the pages that are free.
void RunEngine::loadAhead()
{
    const qint64 count = entries_.count();
    for (qint64 position = front_ + 1; position < front_ + settings_.pagesAtOnce && position < count; ++position) {
        if (slotFor(position))
            continue;
        auto free = std::find_if(slots_.begin(), slots_.end(),
            [](const auto& slot) { return slot->stage == Slot::Stage::Free; });
        if (free == slots_.end())
            return;
        try {
            loadInto(**free, position, entries_.at(position));
        } catch (const std::exception& error) {
            // Its turn will ask again, and report what it meets then.
            qCDebug(lcRun) << "not loaded ahead:" << error.what();
            return;
        }
    }
}

void RunEngine::onLoaded(int page)
{
    if (page < 0 || page >= int(slots_.size()))
        return;
    Slot& slot = *slots_[page];
    if (slot.stage != Slot::Stage::Loading)
        return;
    slot.stage = Slot::Stage::Loaded;
    slot.loadEndMs = nowMs();
    if (slot.position == front_)
        scheduleStep();
}

void RunEngine::onNavigateError(int page, const QString& url)
{
    if (page < 0 || page >= int(slots_.size()) || slots_[page]->stage == Slot::Stage::Free)
        return;
    Slot& slot = *slots_[page];
    if (slot.position == front_ && frontStarted_)
        logFailure(slot, EntryFailure::NavigateError, url);
    else
        slot.heldErrors << url;
}

void RunEngine::onRendered(int page, const RenderedPage& printed)
{
    if (page < 0 || page >= int(slots_.size()) || slots_[page]->stage != Slot::Stage::Rendering)
        return;
    Slot& slot = *slots_[page];
    slot.stage = Slot::Stage::Rendered;
    slot.renderEndMs = nowMs();
    slot.printed = printed;
    scheduleStep();
}

void RunEngine::onRenderFailed(int page, const QString& message, bool wholeRun)
{
    if (page < 0 || page >= int(slots_.size()) || slots_[page]->stage != Slot::Stage::Rendering)
        return;
    if (wholeRun) {
        abort(std::make_exception_ptr(AppError(message)));
        return;
    }
    Slot& slot = *slots_[page];
    slot.stage = Slot::Stage::Failed;
    slot.renderEndMs = nowMs();
    qCWarning(lcRun) << "page not printed:" << shownEntry(slot.printingAddress) << message;
    scheduleStep();
}

void RunEngine::deliverFront()
{
    Slot& slot = *slotFor(front_);
    output_.startEntry(front_ + 1);
    // A load given up at the bound is no failure of the document it brought: that
    // page is kept as it stands, though its line is in the Error Log.
    const bool failed = slot.errorLines > (slot.givenUp ? 1 : 0);
    output_.setFailureCheck([failed] { return failed; });
    const PrintedPage page { slot.address, slot.printed.title, slot.printed.pdf };
    runOutside([this, page] { return output_.deliver(page); },
        [this](const QString& destination, std::exception_ptr failure) {
            Slot& slot = *slotFor(front_);
            if (failure) {
                try {
                    std::rethrow_exception(failure);
                } catch (const PagePrintError& error) {
                    qCWarning(lcRun) << "page not printed:" << shownEntry(slot.printingAddress) << error.message();
                    slot.stage = Slot::Stage::Failed;
                } catch (...) {
                    abort(failure);
                    return;
                }
            }
            completeFront(destination);
        });
}

void RunEngine::completeFront(const QString& destination)
{
    Slot& slot = *slotFor(front_);
    if (slot.stage == Slot::Stage::Failed && slot.errorLines == 0) {
        logFailure(slot, EntryFailure::PrintError, slot.printingAddress);
        if (!running_)
            return;
    }
    EntryResult result;
    result.address = slot.address;
    result.title = slot.printed.title;
    result.finalUrl = slot.printed.finalUrl;
    result.httpStatus = slot.printed.httpStatus;
    result.sheets = slot.printed.sheets;
    result.bytes = slot.printed.pdf.size();
    result.loadMs = qint64(slot.loadEndMs - slot.loadStartMs);
    result.renderMs = qint64(slot.renderEndMs - slot.renderStartMs);
    result.destination = destination;
    result.outcome = slot.printErrorLogged ? EntryResult::Outcome::PrintError
        : slot.errorLines > 0              ? EntryResult::Outcome::NavigateError
                                           : EntryResult::Outcome::Printed;
    if (result.outcome == EntryResult::Outcome::Printed)
        ++summary_.printed;
    releaseSlot(slot);
    const qint64 position = front_;
    ++front_;
    frontStarted_ = false;
    emit entryDone(position, result);
    scheduleStep();
}

void RunEngine::logFailure(Slot& slot, EntryFailure kind, const QString& subject)
{
    ++slot.errorLines;
    ++summary_.errorLines;
    if (kind == EntryFailure::PrintError)
        slot.printErrorLogged = true;
    emit entryFailed(slot.position, kind, subject);
}

void RunEngine::releaseSlot(Slot& slot)
{
    if (slot.stage != Slot::Stage::Free)
        source_.release(slot.page);
    const int page = slot.page;
    slot = Slot();
    slot.page = page;
}

RunEngine::Slot* RunEngine::slotFor(qint64 position)
{
    for (const auto& slot : slots_)
        if (slot->stage != Slot::Stage::Free && slot->position == position)
            return slot.get();
    return nullptr;
}

RunEngine::Slot& RunEngine::freeSlot()
{
    Slot* furthest = nullptr;
    for (const auto& slot : slots_) {
        if (slot->stage == Slot::Stage::Free)
            return *slot;
        if (!furthest || slot->position > furthest->position)
            furthest = slot.get();
    }
    // Every page holds an entry loaded ahead: the one furthest ahead makes room.
    releaseSlot(*furthest);
    return *furthest;
}

void RunEngine::waitUntil(double deadlineMs)
{
    const double remaining = std::max(deadlineMs - nowMs(), 0.0);
    // Rounded up, so the timer never fires a fraction early; legs for long waits.
    wake_->start(nextTimerLegMs(qint64(remaining) + 1));
}

void RunEngine::runOutside(std::function<QString()> work, std::function<void(const QString&, std::exception_ptr)> then)
{
    // Printing systems and disks may take their time: the event loop goes on
    // meanwhile, and the engine takes no step until the work is done.
    struct Outcome {
        QString value;
        std::exception_ptr failure;
    };
    auto outcome = std::make_shared<Outcome>();
    worker_.reset(QThread::create([work = std::move(work), outcome] {
        try {
            outcome->value = work();
        } catch (...) {
            outcome->failure = std::current_exception();
        }
    }));
    connect(worker_.get(), &QThread::finished, this, [this, outcome, then = std::move(then)] {
        worker_->wait();
        worker_.reset();
        then(outcome->value, outcome->failure);
    });
    worker_->start();
}

void RunEngine::finishRun()
{
    wake_->stop();
    for (const auto& slot : slots_)
        releaseSlot(*slot);
    summary_.entries = front_;
    runOutside([this] {
        output_.finish();
        return QString();
    }, [this](const QString&, std::exception_ptr failure) {
        if (failure) {
            abort(failure);
            return;
        }
        running_ = false;
        emitFinished();
    });
}

void RunEngine::abort(std::exception_ptr error)
{
    if (!running_ && summary_.error)
        return;
    running_ = false;
    wake_->stop();
    for (const auto& slot : slots_)
        releaseSlot(*slot);
    summary_.entries = front_;
    summary_.error = error;
    emitFinished();
}

void RunEngine::emitFinished()
{
    for (const auto& connection : std::as_const(connections_))
        disconnect(connection);
    connections_.clear();
    summary_.wallMs = qint64(nowMs() - startedMs_);
    emit finished(summary_);
}

} // namespace dv
