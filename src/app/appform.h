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
class TListBox;

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
/// appform_*.cpp file beside this one.
class TAppForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TAppForm(dv::Services& services, AppParts parts = {}, QWidget* parent = nullptr);
    ~TAppForm() override;

    dv::Services& services() const { return services_; }
    const QString& executablePath() const { return executablePath_; }
    QString statusText() const;
    void setStatusText(const QString& text);

    // ---- components, named as designed ----
    QFrame* PanelHint = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* Button5 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* Panel1 = nullptr;
    QToolButton* ButtonLoad = nullptr;
    QToolButton* ButtonSave = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    TListBox* ListBox1 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QTabWidget* PageControl2 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

    QAction* AddLocalHTMLFiles1 = nullptr;
    QAction* AddURLAddresses1 = nullptr;
    QAction* PrintPreview1 = nullptr;
    QAction* PrintAll1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Browser1 = nullptr;
    QAction* InternetExplorer71 = nullptr;
    QAction* InternetExplorer81 = nullptr;
    QAction* InternetExplorer91 = nullptr;
    QAction* InternetExplorer101 = nullptr;
    QAction* InternetExplorer111 = nullptr;
    QAction* Help2 = nullptr;
    QAction* UpdateNotifications1 = nullptr;
    QAction* SendFeedback1 = nullptr;
    QAction* About1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* DeleteSelected1 = nullptr;
    QAction* DeleteAll1 = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* TimerIE = nullptr;
    QTimer* TimerChecker = nullptr;
    QTimer* TimerHint = nullptr;
    QTimer* TimerDelay = nullptr;

    /// The one browser control of the process, created by WebBrowserYukle.
    std::unique_ptr<dv::BrowserControl> MyWebBrowser;

public slots:
    // ---- start-up and main window (appform.cpp) ----
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void Exit1Click();
    void Help2Click();
    void HighDPIImageYukle();

    // ---- about and feedback (appform_about.cpp) ----
    void About1Click();
    void SendFeedback1Click();

    // ---- page list (appform_pagelist.cpp) ----
    void Button1Click();
    void AddLocalHTMLFiles1Click();
    void ButtonLoadClick();
    void ButtonSaveClick();
    void DeleteSelected1Click();
    void DeleteAll1Click();
    void ListBox1KeyDown(QKeyEvent* event);
    void ListBox1DblClick();

    // ---- URL list dialog (appform_addurl.cpp) ----
    void Button2Click();
    void AddURLAddresses1Click();

    // ---- browser host, printing and preview (appform_printing.cpp) ----
    void WebBrowserYukle();
    void MyWebBrowserNavigateError(const QString& url);
    void Button4Click();
    void PrintAll1Click();
    void Button3Click();
    void PrintPreview1Click();
    void TimerDelayTimer();

    // ---- browser emulation level (appform_emulation.cpp) ----
    void InternetExplorer71Click();
    void InternetExplorer81Click();
    void InternetExplorer91Click();
    void InternetExplorer101Click();
    void InternetExplorer111Click();
    void Button5Click();
    void TimerIETimer();
    void TimerHintTimer();
    void YenidenBaslat();

    // ---- update check (appform_update.cpp) ----
    void TimerCheckerTimer();
    void UpdateNotifications1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    void buildMenus();
    void buildTimers();
    void connectHandlers();
    // Per-subsystem wiring, each defined in its appform_*.cpp file and called once
    // by the constructor after the components exist.
    void connectPageListHandlers();
    void connectAddUrlHandlers();
    void connectPrintingHandlers();
    void connectEmulationHandlers();
    void connectUpdateHandlers();
    void connectAboutHandlers();

    dv::Services& services_;
    AppParts parts_;
    QString executablePath_;
    bool shownOnce_ = false;

    // True when a running command must finish before the window may close; the
    // close then happens after it (appform_printing.cpp).
    bool deferCloseWhileBusy();

public:
    // ---- state owned by the subsystems; each block belongs to one appform_*.cpp ----
    // page list:
    // URL list dialog:
    // printing:
    /// Navigation errors counted since "Print All" last started (signed 64-bit).
    qint64 NavigateErrorCount = 0;
    /// False while a delay runs; TimerDelayTimer sets it when the delay is over.
    bool DelayElapsed = true;
    /// When the delay now running ends, in QDeadlineTimer milliseconds: TimerDelay
    /// covers a long delay in legs of at most 2^31-1 ms until then.
    qint64 delayDeadlineMs = 0;
    /// True while a print run or a preview is under way.
    bool isCommandRunning() const { return commandRunning_; }

private:
    void printAllPages();
    void waitUntil(const std::function<bool()>& done, qint64 timeoutMs);
    void waitForLoad(const QString& address);
    QString pageEntry(qint64 index) const;
    void showRunProgress(qint64 index);
    void finishDeferredClose();
    bool commandRunning_ = false;
    bool closeAfterCommand_ = false;
    class QEventLoop* waitLoop_ = nullptr;

public:
    // emulation level:
    // update check:
    /// The update notice, created at most once per run; lives until the window goes.
    class TNewVer* NewVer = nullptr;
    // about and feedback:
};

/// The main window of the process, for the dialogs that append to its list.
extern TAppForm* AppForm;
