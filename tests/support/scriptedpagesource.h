#pragma once

#include "pagesource.h"
#include "runoutput.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QLabel;

namespace dv::test
{

/// A page source that loads nothing: each load ends on the event loop after
/// `loadMs` (or its address's own time in `loadMsFor`), raising the navigation
/// error first for addresses listed in `failing`, and never for those in
/// `hanging`. It records what was loaded, shown, rendered and let go, and can be
/// told to fail any step. Hand it to the main window through AppParts::pageSourceFactory.
class ScriptedPageSource : public PageSource
{
    Q_OBJECT

public:
    explicit ScriptedPageSource(QWidget* parent = nullptr);
    ~ScriptedPageSource() override;

    void setPageCount(int count) override;
    int pageCount() const override { return int(pages_.size()); }
    QWidget* widget() override;
    void load(int page, const QString& address) override;
    void stopLoading(int page) override;
    void show(int page) override;
    void render(int page) override;
    void release(int page) override;
    bool lost(int page) const override { return lostPages.contains(page); }

    // ---- the script ----
    /// Milliseconds from load() to its end; 0 ends it on the next pass of the event loop.
    int loadMs = 0;
    /// Load times of their own, by address.
    QHash<QString, int> loadMsFor;
    /// Milliseconds from render() to its page; 0: the next pass of the event loop.
    int renderMs = 0;
    /// Addresses whose load raises navigateError before it ends.
    QSet<QString> failing;
    /// Addresses whose load never ends (until stopLoading()).
    QSet<QString> hanging;
    /// Addresses whose load() raises dv::AppError with `loadFailure`.
    QSet<QString> refused;
    QString loadFailure = QStringLiteral("The page cannot be loaded.");
    /// When set, a render fails with this message, and so does the whole run.
    QString printFailure;
    /// Pages whose render fails alone, as a page that will not render.
    QSet<QString> unprintable;
    /// Pages whose render process is gone, as if another page took it along.
    QSet<int> lostPages;
    /// Run when a page is shown (its turn came) and when one is rendered.
    std::function<void(const QString& address)> onNavigate;
    std::function<void(const QString& shown)> onPrint;

    // ---- what happened ----
    /// Every load() asked, in order.
    QStringList loads;
    /// The address of each page shown, in order: the entries whose turn came.
    QStringList navigations;
    /// Pages shown that had been loaded ahead of their turn.
    QStringList takenOver;
    /// Pages let go before their turn came.
    QStringList discarded;
    /// Pages rendered, in order.
    QStringList printed;
    int stops = 0;
    /// The page in sight: the address it was given.
    QString shown;
    /// The most pages that were loading or loaded at once.
    int mostHeld = 0;

private:
    struct Page {
        QString address;
        quint64 generation = 0;
        bool held = false;
        bool wasShown = false;
    };
    void finishLoad(int page, quint64 generation);
    void noteHeld();

    QLabel* view_ = nullptr;
    std::vector<Page> pages_;
    // The last call was load() of this page: a show() that follows at once is of
    // the entry just asked for, not of one loaded ahead.
    int justLoaded_ = -1;
};

/// A run output that keeps what it is handed, for tests of what reaches it and in
/// which order.
class RecordingOutput : public RunOutput
{
public:
    struct Delivery {
        qint64 position;
        QString address;
        bool failed;
    };
    void open(qint64 entryCount) override { opened << entryCount; }
    QString deliver(const PrintedPage& page) override
    {
        if (onDeliver)
            onDeliver(position(), page.address);
        delivered.push_back({ position(), page.address, entryFailed() });
        return QStringLiteral("recorded-%1").arg(position());
    }
    void finish() override { ++finished; }

    /// Runs before a page is kept (on the run's thread for hand-overs); may throw.
    std::function<void(qint64 position, const QString& address)> onDeliver;
    QList<qint64> opened;
    std::vector<Delivery> delivered;
    int finished = 0;
};

} // namespace dv::test
