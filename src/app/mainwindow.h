#pragma once

#include "destination.h"

#include <QMainWindow>

#include <exception>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QBoxLayout;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;
class PageListBox;
class UpdateNotice;

namespace dv {
struct Services;
class PageSource;
class RunEngine;
class RunOutput;
struct RenderedPage;
struct RunSummary;
struct EntryResult;
enum class EntryFailure;
}

/// What the composition root (main.cpp) or a test hands the main window besides
/// the desktop services. Every member has a working default.
struct AppParts {
    /// The executable whose version resource names the program, and whose file
    /// name keys the browser emulation value. Empty: the running executable.
    QString executablePath;
    /// Creates the page source whose pages the browser pane shows. Empty: the real engine.
    std::function<std::unique_ptr<dv::PageSource>(QWidget* parent)> pageSourceFactory;
    /// Makes where a print run's pages go. Empty: the printer or PDF output chosen.
    std::function<std::unique_ptr<dv::RunOutput>(const dv::PrintDestination&)> outputFactory;
    /// Shows the print preview of a printed page; print() sends it on. Empty: the
    /// real preview dialog.
    std::function<void(const dv::RenderedPage& page, const std::function<void()>& print)> previewer;
    /// How long a print run or preview waits for a page to finish loading before
    /// it stops the load, logs it as a navigation error and goes on.
    int loadTimeoutMs = 60000;
    /// The update check's "today" as date text. Empty: the system's short date.
    std::function<QString()> updateCheckToday;
    /// A window nobody watches: no update check, update notice or hint bar,
    /// nothing written to the settings store, and "Print to:" starts at the default
    /// printer rather than at the stored choice.
    bool unattended = false;
};

/// The main window: the page list, the browser pane, the print commands, the menus
/// and the five timers. Handlers of each subsystem are defined in that subsystem's
/// mainwindow_*.cpp file beside this one. Its widgets carry object names after
/// their members (printAllButton, delaySpin, errorLog, ...), which is how tests
/// and inspectors find them.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(dv::Services& services, AppParts parts = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    QString statusText() const;
    void setStatusText(const QString& text);
    /// The page source of the window, made when the window is created.
    dv::PageSource* pageSource() const { return pageSource_.get(); }
    /// True while a print run or a preview is under way.
    bool isCommandRunning() const { return commandRunning_; }
    /// Navigation errors counted since "Print All" last started (signed 64-bit).
    qint64 navigateErrorCount() const { return navigateErrorCount_; }
    /// The update notice once one was shown; it lives until the window goes.
    UpdateNotice* updateNotice() const { return updateNotice_; }

    // ---- for tests: the delay of a print run, which no widget shows ----
    /// Ends the delay now running as if its time had passed.
    void endDelayNow();
    void setNavigateErrorCount(qint64 count) { navigateErrorCount_ = count; }

    // ---- print destination (mainwindow_destination.cpp) ----
    /// Where "Print All" sends pages: the "Print to:" choice.
    dv::PrintDestination printDestination() const { return destination_.chosen; }
    /// Chooses where "Print All" sends pages, as the command line asks; not stored.
    void setPrintDestination(const dv::PrintDestination& destination);

    // ---- command line and "Open with" (mainwindow_commandline.cpp) ----
    /// Appends entries to the page list: local files as absolute paths, anything
    /// else as written.
    void appendEntries(const QStringList& entries);
    void setDelaySeconds(qint64 seconds);
    QStringList errorLogLines() const;

public slots:
    /// "Print All": prints every entry of the list in order, then says how it went.
    void printAll();
    /// "Print Preview": loads the caret entry and previews it.
    void previewCurrent();
    /// Loads the caret entry into the browser pane without printing (double-click).
    void showCaretEntry();
    void openOnlineHelp();
    /// Shows the browser pane and enables the print buttons while the list has
    /// entries; the list follow timer calls it every 50 ms.
    void followPageList();
    /// Stores the chosen browser emulation level and offers the restart that puts
    /// it in force.
    void chooseEmulationLevel(int level);
    void restartProgram();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    // ---- start-up and main window (mainwindow.cpp) ----
    void startUp();
    void exitProgram();
    void loadHintPicture();

    // ---- about and feedback (mainwindow_about.cpp) ----
    void showAboutBox();
    void showFeedbackWindow();

    // ---- page list (mainwindow_pagelist.cpp) ----
    void addHtmlFiles();
    void loadList();
    void saveList();
    void deleteSelectedEntries();
    void deleteAllEntries();
    void handlePageListKey(QKeyEvent* event);

    // ---- URL list dialog (mainwindow_addurl.cpp) ----
    void addUrlList();

    // ---- browser host, printing and preview (mainwindow_printing.cpp) ----
    void createPageSource();
    void logNavigateError(const QString& url);
    // Writes one line for the entry to the Error Log and counts it.
    void logEntryError(const QString& line);

    // ---- browser emulation level (mainwindow_emulation.cpp) ----
    void applyRecommendedEmulation();
    void markEmulationLevel();
    void showHintIfNeeded();

    // ---- update check (mainwindow_update.cpp) ----
    void followUpdateCheck();
    void toggleUpdateNotifications();

    // ---- page setup (mainwindow_pagesetup.cpp) ----
    /// "Page Setup...": edits and stores the page setup that printing follows.
    void openPageSetup();

private:
    void buildLayout();
    void buildMenus();
    void buildTimers();
    void connectHandlers();
    // Per-subsystem wiring, each defined in its mainwindow_*.cpp file and called
    // once by the constructor after the widgets exist.
    void connectPageListHandlers();
    void connectAddUrlHandlers();
    void connectPrintingHandlers();
    void connectEmulationHandlers();
    void connectUpdateHandlers();
    void connectAboutHandlers();
    void connectPageSetupHandlers();
    void connectDestinationHandlers();
    // A run from the command line starts no update check and shows no hint bar.
    void applyUnattendedParts();

    // True when a running command must finish before the window may close; the
    // close then happens after it.
    bool deferCloseWhileBusy();
    QString pageEntry(qint64 index) const;
    void showRunProgress(qint64 index);
    void finishDeferredClose();
    // What the window shows of a print run, as the run engine tells it.
    void onEntryFailed(dv::EntryFailure kind, const QString& subject);
    void onRunFinished(const dv::RunSummary& summary);
    // The steps of a preview: the caret entry loads, then prints to the preview.
    void previewLoaded();
    void previewRendered(const dv::RenderedPage& page);
    void endPreview(std::exception_ptr failure = nullptr);
    void endCommand();

    // ---- print destination (mainwindow_destination.cpp) ----
    void buildDestinationChoice(QBoxLayout* row);
    // Puts the stored "Print to:" choice back; a printer that is gone falls back to
    // the default printer with a note on the status line.
    void restoreDestination();
    // Lists the default printer, every printer CUPS offers and the PDF outputs afresh.
    void refreshDestinations();
    // The user picked item index of "Print to:" (PDF outputs ask where first).
    void chooseDestination(int index);
    // Selects the item of destination_.chosen.
    void showDestination();
    // "Pages at once:" beside the print buttons: how many entries a run loads side by side.
    void buildPagesAtOnceChoice(QBoxLayout* row);

    dv::Services& services_;
    AppParts parts_;
    QString executablePath_;
    bool shownOnce_ = false;

    QFrame* hintPanel_ = nullptr;
    QLabel* hintPicture_ = nullptr;
    QLabel* hintTitleLabel_ = nullptr;
    QLabel* hintTextLabel_ = nullptr;
    QPushButton* applyHintButton_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QTabWidget* listTabs_ = nullptr;
    QWidget* pageListTab_ = nullptr;
    QWidget* listToolBar_ = nullptr;
    QToolButton* loadListButton_ = nullptr;
    QToolButton* saveListButton_ = nullptr;
    QPushButton* addFilesButton_ = nullptr;
    QPushButton* addUrlListButton_ = nullptr;
    PageListBox* pageList_ = nullptr;
    QWidget* errorLogTab_ = nullptr;
    QPlainTextEdit* errorLog_ = nullptr;
    QTabWidget* browserTabs_ = nullptr;
    QWidget* browserTab_ = nullptr;
    QWidget* printPanel_ = nullptr;
    QLabel* delayLabel_ = nullptr;
    QSpinBox* delaySpin_ = nullptr;
    QLabel* delayUnitLabel_ = nullptr;
    QLabel* printToLabel_ = nullptr;
    QComboBox* printToBox_ = nullptr;
    QLabel* pagesAtOnceLabel_ = nullptr;
    QSpinBox* pagesAtOnceSpin_ = nullptr;
    QPushButton* printPreviewButton_ = nullptr;
    QPushButton* printAllButton_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* runProgress_ = nullptr;

    QAction* addFilesAction_ = nullptr;
    QAction* addUrlListAction_ = nullptr;
    QAction* pageSetupAction_ = nullptr;
    QAction* printPreviewAction_ = nullptr;
    QAction* printAllAction_ = nullptr;
    QAction* exitAction_ = nullptr;
    QMenu* browserMenu_ = nullptr;
    QAction* ie7Action_ = nullptr;
    QAction* ie8Action_ = nullptr;
    QAction* ie9Action_ = nullptr;
    QAction* ie10Action_ = nullptr;
    QAction* ie11Action_ = nullptr;
    QAction* onlineHelpAction_ = nullptr;
    QAction* updateNotificationsAction_ = nullptr;
    QAction* sendFeedbackAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    QMenu* pageListMenu_ = nullptr;
    QAction* deleteSelectedAction_ = nullptr;
    QAction* deleteAllAction_ = nullptr;

    // Every 50 ms: keeps the browser pane and print buttons in line with the list.
    QTimer* listFollowTimer_ = nullptr;
    // Once, right after start-up: marks the emulation level in force.
    QTimer* emulationMarkTimer_ = nullptr;
    // Starts the update check a second after start-up, then waits for its result.
    QTimer* updateCheckTimer_ = nullptr;
    // Once, a second after start-up: shows the hint bar unless level 11 is in force.
    QTimer* hintTimer_ = nullptr;
    std::unique_ptr<dv::PageSource> pageSource_;
    dv::StoredDestination destination_;
    // The print run under way and where its pages go; both live until the next run.
    std::unique_ptr<dv::RunOutput> runOutput_;
    std::unique_ptr<dv::RunEngine> run_;
    // The entry now printing, for its "Completed:" status.
    QString printingEntry_;
    // The preview under way: the entry it shows, and the bound on its load.
    QString previewEntry_;
    QTimer* previewLoadBound_ = nullptr;
    QList<QMetaObject::Connection> previewConnections_;

    qint64 navigateErrorCount_ = 0;
    bool commandRunning_ = false;
    bool closeAfterCommand_ = false;
    UpdateNotice* updateNotice_ = nullptr;
};

namespace dv {
struct CommandLineRequest;
/// Hands the window what a command line without --print-all names: the list
/// file's lines and then the entries (as a file manager's "Open with" passes
/// them), the delay and the destination for this session (not stored). A list
/// file that cannot be read is shown by the default error dialog.
void openInWindow(MainWindow& window, const CommandLineRequest& request);
} // namespace dv


