#pragma once

#include "browsercontrol.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;

namespace dv::test
{

/// A browser control that loads nothing: each navigation completes on the event
/// loop after `loadMs`, raising the navigation error first for addresses listed
/// in `failing`, and never for those in `hanging`. It records what was
/// navigated, printed and previewed, and can be told to fail any operation.
/// Hand it to the main window through AppParts::browserFactory:
///   parts.browserFactory = [&](QWidget* p) { auto b = std::make_unique<ScriptedBrowser>(p); browser = b.get(); return
///   b; };
class ScriptedBrowser : public BrowserControl
{
    Q_OBJECT

public:
    explicit ScriptedBrowser(QWidget* parent = nullptr);
    ~ScriptedBrowser() override;

    QWidget* widget() override;
    void navigate(const QString& address) override;
    quint32 readyState() const override { return state_; }
    void print() override;
    void printPreview() override;
    void stop() override;
    /// Loads ahead as the real engine does: the load runs its course out of sight,
    /// its navigation error held back until navigate() takes it over.
    void preload(const QString& address) override;
    qint64 loadStartedAgoMs() const override { return loadStartedAgoMs_; }

    // ---- the script ----
    /// Milliseconds from navigate() to a complete page; 0 completes on the next pass of the event loop.
    int loadMs = 0;
    /// Addresses whose load raises navigateError before completing.
    QSet<QString> failing;
    /// Addresses whose load never completes (until stop()).
    QSet<QString> hanging;
    /// When set, the operation raises dv::AppError with this message.
    QString navigateFailure;
    QString printFailure;
    QString previewFailure;
    /// Pages whose print raises dv::PagePrintError, as a page that will not render.
    QSet<QString> unprintable;
    /// Run inside the operation, before it records anything (to act "during" it).
    std::function<void(const QString& address)> onNavigate;
    std::function<void(const QString& shown)> onPrint;
    std::function<void(const QString& shown)> onPreview;

    // ---- what happened ----
    QStringList navigations;
    /// The page shown (the last completed navigation) at each print or preview.
    QStringList printed;
    QStringList previewed;
    int stops = 0;
    /// Every preload() call, an empty address for "throw it away".
    QStringList preloads;
    /// Pre-loads navigate() took over, and those it threw away for another address.
    QStringList takenOver;
    QStringList discarded;
    /// The page now shown: the address of the last load that completed.
    QString shown;

signals:
    // A pre-load's load ended (its generation).
    void aheadEnded(quint64 generation);

private:
    void complete(quint64 generation, const QString& address);
    void dropPreload();

    QLabel* view_ = nullptr;
    quint32 state_ = ReadyStateComplete;
    quint64 generation_ = 0;
    QString loading_;
    // The pre-load: its address, whether its load ended, when it began.
    QString ahead_;
    bool aheadDone_ = false;
    quint64 aheadGeneration_ = 0;
    QElapsedTimer aheadClock_;
    qint64 loadStartedAgoMs_ = 0;
};

} // namespace dv::test
