#pragma once

#include "pagesource.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace dv
{

class RunOutput;

/// The entries of a run, read afresh at each step: the window's list may change
/// while the run goes on. at() raises dv::AppError for a position the list no
/// longer has.
struct RunEntries {
    std::function<qint64()> count;
    std::function<QString(qint64 position)> at;

    /// A list that stays as it is.
    static RunEntries fixed(const QStringList& entries);
};

/// The most pages a run loads side by side, and how many it loads by default.
inline constexpr int MaxPagesAtOnce = 16;
inline constexpr int DefaultPagesAtOnce = 2;

struct RunSettings {
    /// The wait after each page's load before it prints, read as each load ends.
    std::function<qint64()> delaySeconds = [] { return qint64(0); };
    /// How many entries load side by side (1 to MaxPagesAtOnce).
    int pagesAtOnce = DefaultPagesAtOnce;
    /// How long a load may take before it is given up and the page printed as it
    /// stands; below 0, forever.
    qint64 loadTimeoutMs = 60000;
};

/// What became of one entry.
struct EntryResult {
    enum class Outcome { Printed, NavigateError, PrintError };
    Outcome outcome = Outcome::Printed;
    QString address;
    QString title;
    QUrl finalUrl;
    int httpStatus = 0;
    int sheets = 0;
    qint64 bytes = 0;
    qint64 loadMs = 0;
    qint64 renderMs = 0;
    /// Where the page went (queue and job id, or file); empty when it was not kept.
    QString destination;
};

/// The kinds of Error Log line an entry can get.
enum class EntryFailure { NavigateError, PrintError };

/// The Error Log line for a failure: "Navigate Error: URL" or "Print Error: ENTRY".
QString errorLogLine(EntryFailure kind, const QString& subject);

struct RunSummary {
    qint64 entries = 0;
    qint64 printed = 0;
    /// Error Log lines of the run.
    qint64 errorLines = 0;
    qint64 wallMs = 0;
    /// What ended the run early (the default error dialog's error); null when it ran to its end.
    std::exception_ptr error;
};

/// One Print All run: loads each entry, waits the delay, renders it and hands it
/// to the output, in list order, with up to pagesAtOnce entries loading side by
/// side. It moves on signals and timers alone; nothing waits inside it.
class RunEngine : public QObject
{
    Q_OBJECT

public:
    RunEngine(PageSource& source, RunOutput& output, RunEntries entries, RunSettings settings,
        QObject* parent = nullptr);
    ~RunEngine() override;

    /// Opens the output and starts the first entry; finished() follows, never
    /// before this returns.
    void start();
    bool running() const { return running_; }
    /// Ends the delay now under way as if its time had passed.
    void endDelayNow();

signals:
    void entryStarted(qint64 position, const QString& address);
    /// The entry's delay passed and its page is being printed; address is the
    /// entry as the list now holds it at that position.
    void entryPrinting(qint64 position, const QString& address);
    void entryFailed(qint64 position, dv::EntryFailure kind, const QString& subject);
    void entryDone(qint64 position, const dv::EntryResult& result);
    void finished(const dv::RunSummary& summary);

private:
    struct Slot;

    void step();
    void scheduleStep();
    void startFront();
    void loadInto(Slot& slot, qint64 position, const QString& address);
    void loadAhead();
    void onLoaded(int page);
    void onNavigateError(int page, const QString& url);
    void onRendered(int page, const RenderedPage& printed);
    void onRenderFailed(int page, const QString& message, bool wholeRun);
    void deliverFront();
    void completeFront(const QString& destination = QString());
    void logFailure(Slot& slot, EntryFailure kind, const QString& subject);
    void releaseSlot(Slot& slot);
    Slot* slotFor(qint64 position);
    Slot& freeSlot();
    void waitUntil(double deadlineMs);
    // Runs work on a thread of its own, then `then` here; no step is taken meanwhile.
    void runOutside(std::function<QString()> work, std::function<void(const QString&, std::exception_ptr)> then);
    void finishRun();
    void abort(std::exception_ptr error);
    void emitFinished();

    PageSource& source_;
    RunOutput& output_;
    RunEntries entries_;
    RunSettings settings_;
    std::vector<std::unique_ptr<Slot>> slots_;
    QList<QMetaObject::Connection> connections_;
    // Wakes the engine when a delay or a load bound runs out.
    QTimer* wake_ = nullptr;
    // The entry whose turn it is, and whether its turn has begun.
    qint64 front_ = 0;
    bool frontStarted_ = false;
    bool running_ = false;
    bool stepQueued_ = false;
    std::unique_ptr<QThread> worker_;
    RunSummary summary_;
    double startedMs_ = 0;
};

} // namespace dv
