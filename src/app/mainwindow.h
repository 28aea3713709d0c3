#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QAction;
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
class BrowserControl;
}

/// What the composition root (main.cpp) or a test hands the main window besides
/// the desktop services. Every member has a working default.
struct AppParts {
    /// The executable whose version resource names the program, and whose file
    /// name keys the browser emulation value. Empty: the running executable.
    QString executablePath;
    /// Creates the browser control inside its pane. Empty: the real engine.
    std::function<std::unique_ptr<dv::BrowserControl>(QWidget* parent)> browserFactory;
    /// How long a print run or preview waits for a page to finish loading before
    /// it stops the load, logs it as a navigation error and goes on.
    int loadTimeoutMs = 60000;
    /// The update check's "today" as date text. Empty: the system's short date.
    std::function<QString()> updateCheckToday;
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
    /// The one browser control of the window, made when the window is created.
    dv::BrowserControl* browser() const { return browser_.get(); }
    /// True while a print run or a preview is under way.
    bool isCommandRunning() const { return commandRunning_; }
    /// Navigation errors counted since "Print All" last started (signed 64-bit).
    qint64 navigateErrorCount() const { return navigateErrorCount_; }
    /// The update notice once one was shown; it lives until the window goes.
    UpdateNotice* updateNotice() const { return updateNotice_; }

    // ---- for tests: the delay of a print run, which no widget shows ----
    bool isDelayElapsed() const { return delayElapsed_; }
    /// When the delay now running ends, in QDeadlineTimer milliseconds.
    qint64 delayDeadlineMs() const { return delayDeadlineMs_; }
    /// Ends the delay now running as if its time had passed.
    void endDelayNow();
    void setNavigateErrorCount(qint64 count) { navigateErrorCount_ = count; }

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
    void createBrowser();
    void logNavigateError(const QString& url);
    /// One leg of the delay timer is over: start the next or end the delay.
    void advanceDelay();

    // ---- browser emulation level (mainwindow_emulation.cpp) ----
    void applyRecommendedEmulation();
    void markEmulationLevel();
    void showHintIfNeeded();

    // ---- update check (mainwindow_update.cpp) ----
    void followUpdateCheck();
    void toggleUpdateNotifications();

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

    // True when a running command must finish before the window may close; the
    // close then happens after it.
    bool deferCloseWhileBusy();
    void printAllPages();
    void waitUntil(const std::function<bool()>& done, qint64 timeoutMs);
    void waitForLoad(const QString& address);
    QString pageEntry(qint64 index) const;
    void showRunProgress(qint64 index);
    void finishDeferredClose();

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
    QPushButton* printPreviewButton_ = nullptr;
    QPushButton* printAllButton_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QProgressBar* runProgress_ = nullptr;

    QAction* addFilesAction_ = nullptr;
    QAction* addUrlListAction_ = nullptr;
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
    // Runs the delay after each page load, in legs a timer interval can hold.
    QTimer* delayTimer_ = nullptr;

    std::unique_ptr<dv::BrowserControl> browser_;

    qint64 navigateErrorCount_ = 0;
    bool delayElapsed_ = true;
    qint64 delayDeadlineMs_ = 0;
    bool commandRunning_ = false;
    bool closeAfterCommand_ = false;
    class QEventLoop* waitLoop_ = nullptr;
    UpdateNotice* updateNotice_ = nullptr;
};

