#include "mainwindow.h"

#include "pagesource.h"
#include "runengine.h"
#include "runoutput.h"

#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "identity.h"
#include "pagelistbox.h"
#include "services.h"
#include "shell.h"
#include "versioninfo.h"
#include "helpname.h"
#include "placement.h"
#include "printrun.h"
#include "resources.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

namespace {

QIcon namedIcon(const QString& name, const QString& disabledName = QString())
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/%1.svg").arg(name), QSize(), QIcon::Normal);
    if (!disabledName.isEmpty())
        icon.addFile(QStringLiteral(":/icons/%1.svg").arg(disabledName), QSize(), QIcon::Disabled);
    return icon;
}

QPushButton* boldButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

} // namespace

MainWindow::MainWindow(dv::Services& services, AppParts parts, QWidget* parent)
    : QMainWindow(parent), services_(services), parts_(std::move(parts))
{
    dv::initResources();
    executablePath_ = parts_.executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : parts_.executablePath;
    setObjectName(QStringLiteral("mainWindow"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    buildLayout();
    buildMenus();
    // 714 x 402 is the client area below the menu bar, status bar included; the
    // menu bar only knows its height once its menus exist.
    resize(714, 402 + menuBar()->sizeHint().height());
    dv::centreOnScreen(this);
    buildTimers();
    connectHandlers();
    startUp();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildLayout()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // Hint bar, hidden until the emulation level asks for it.
    hintPanel_ = new QFrame(central);
    hintPanel_->setObjectName(QStringLiteral("hintPanel"));
    hintPanel_->setFixedHeight(70);
    hintPanel_->setAutoFillBackground(true);
    QPalette white = hintPanel_->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    hintPanel_->setPalette(white);
    auto* hintRow = new QHBoxLayout(hintPanel_);
    hintRow->setContentsMargins(3, 3, 8, 3);
    hintPicture_ = new QLabel(hintPanel_);
    hintPicture_->setObjectName(QStringLiteral("hintPicture"));
    hintPicture_->setFixedSize(64, 64);
    hintPicture_->setAccessibleName(QStringLiteral("Hint"));
    auto* hintTexts = new QVBoxLayout();
    hintTitleLabel_ = new QLabel(QStringLiteral("HINT"), hintPanel_);
    hintTitleLabel_->setObjectName(QStringLiteral("hintTitleLabel"));
    QFont hintFont(font());
    hintFont.setPointSize(10);
    hintFont.setBold(true);
    hintTitleLabel_->setFont(hintFont);
    hintTextLabel_ = new QLabel(QStringLiteral("Use Internet Explorer 11 browser emulation for best quality."), hintPanel_);
    hintTextLabel_->setObjectName(QStringLiteral("hintTextLabel"));
    hintTexts->addStretch();
    hintTexts->addWidget(hintTitleLabel_);
    hintTexts->addWidget(hintTextLabel_);
    hintTexts->addStretch();
    applyHintButton_ = new QPushButton(namedIcon(QStringLiteral("tick_button")), QStringLiteral("Apply"), hintPanel_);
    applyHintButton_->setObjectName(QStringLiteral("applyHintButton"));
    hintRow->addWidget(hintPicture_);
    hintRow->addSpacing(8);
    hintRow->addLayout(hintTexts, 1);
    hintRow->addWidget(applyHintButton_);
    hintPanel_->hide();
    column->addWidget(hintPanel_);

    splitter_ = new QSplitter(Qt::Horizontal, central);
    splitter_->setObjectName(QStringLiteral("splitter"));
    splitter_->setHandleWidth(5);
    splitter_->setOpaqueResize(true);
    splitter_->setChildrenCollapsible(false);
    column->addWidget(splitter_, 1);

    listTabs_ = new QTabWidget(splitter_);
    listTabs_->setObjectName(QStringLiteral("listTabs"));
    pageListTab_ = new QWidget();
    pageListTab_->setObjectName(QStringLiteral("pageListTab"));
    auto* listColumn = new QVBoxLayout(pageListTab_);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(0);
    listToolBar_ = new QWidget(pageListTab_);
    listToolBar_->setObjectName(QStringLiteral("listToolBar"));
    listToolBar_->setFixedHeight(26);
    auto* tools = new QHBoxLayout(listToolBar_);
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(0);
    auto toolButton = [this](const char* name, const QString& icon, const QString& hint) {
        auto* b = new QToolButton(listToolBar_);
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(26, 26);
        b->setIcon(namedIcon(icon));
        b->setIconSize(QSize(20, 20));
        b->setToolTip(hint);
        b->setAccessibleName(hint);
        b->setFocusPolicy(Qt::StrongFocus);
        b->setAutoRaise(true);
        return b;
    };
    loadListButton_ = toolButton("loadListButton", QStringLiteral("folder48"), QStringLiteral("Load List From File..."));
    saveListButton_ = toolButton("saveListButton", QStringLiteral("save"), QStringLiteral("Save List Into File..."));
    addFilesButton_ = new QPushButton(QStringLiteral("Add HTML Files"), listToolBar_);
    addFilesButton_->setObjectName(QStringLiteral("addFilesButton"));
    addFilesButton_->setFixedSize(140, 26);
    addUrlListButton_ = new QPushButton(QStringLiteral("Add URL List"), listToolBar_);
    addUrlListButton_->setObjectName(QStringLiteral("addUrlListButton"));
    addUrlListButton_->setFixedSize(140, 26);
    tools->addWidget(loadListButton_);
    tools->addWidget(saveListButton_);
    tools->addWidget(addFilesButton_);
    tools->addWidget(addUrlListButton_);
    tools->addStretch();
    pageList_ = new PageListBox(pageListTab_);
    pageList_->setObjectName(QStringLiteral("pageList"));
    pageList_->setFrameShape(QFrame::NoFrame);
    pageList_->setAccessibleName(QStringLiteral("HTML List"));
    listColumn->addWidget(listToolBar_);
    listColumn->addWidget(pageList_, 1);
    listTabs_->addTab(pageListTab_, QStringLiteral("HTML List"));

    errorLogTab_ = new QWidget();
    errorLogTab_->setObjectName(QStringLiteral("errorLogTab"));
    auto* logColumn = new QVBoxLayout(errorLogTab_);
    logColumn->setContentsMargins(0, 0, 0, 0);
    errorLog_ = new QPlainTextEdit(errorLogTab_);
    errorLog_->setObjectName(QStringLiteral("errorLog"));
    errorLog_->setReadOnly(true);
    errorLog_->setLineWrapMode(QPlainTextEdit::NoWrap);
    errorLog_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    errorLog_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    errorLog_->setAccessibleName(QStringLiteral("Error Log"));
    logColumn->addWidget(errorLog_);
    listTabs_->addTab(errorLogTab_, QStringLiteral("Error Log"));

    browserTabs_ = new QTabWidget(splitter_);
    browserTabs_->setObjectName(QStringLiteral("browserTabs"));
    browserTab_ = new QWidget();
    browserTab_->setObjectName(QStringLiteral("browserTab"));
    auto* browserColumn = new QVBoxLayout(browserTab_);
    browserColumn->setContentsMargins(0, 0, 0, 0);
    browserTabs_->addTab(browserTab_, QStringLiteral("Internet Explorer"));
    browserTabs_->hide();
    splitter_->addWidget(listTabs_);
    splitter_->addWidget(browserTabs_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->setSizes({714 - 335 - 5, 335});

    printPanel_ = new QWidget(central);
    printPanel_->setObjectName(QStringLiteral("printPanel"));
    printPanel_->setFixedHeight(68);
    auto* panelColumn = new QVBoxLayout(printPanel_);
    panelColumn->setContentsMargins(8, 6, 8, 6);
    auto* delayRow = new QHBoxLayout();
    delayLabel_ = new QLabel(QStringLiteral("Delay after page load:"), printPanel_);
    delayLabel_->setObjectName(QStringLiteral("delayLabel"));
    delaySpin_ = new QSpinBox(printPanel_);
    delaySpin_->setObjectName(QStringLiteral("delaySpin"));
    delaySpin_->setRange(0, 999999999);
    delaySpin_->setValue(int(dv::DefaultDelaySeconds));
    delaySpin_->setMinimumWidth(90);
    delaySpin_->setAccessibleName(QStringLiteral("Delay after page load in seconds"));
    delayLabel_->setBuddy(delaySpin_);
    delayUnitLabel_ = new QLabel(QStringLiteral("(seconds)"), printPanel_);
    delayUnitLabel_->setObjectName(QStringLiteral("delayUnitLabel"));
    delayRow->addWidget(delayLabel_);
    delayRow->addWidget(delaySpin_);
    delayRow->addWidget(delayUnitLabel_);
    buildDestinationChoice(delayRow);
    delayRow->addStretch();
    auto* buttonRow = new QHBoxLayout();
    printPreviewButton_ = boldButton(QStringLiteral("Print Preview"), printPanel_);
    printPreviewButton_->setObjectName(QStringLiteral("printPreviewButton"));
    printPreviewButton_->setIcon(namedIcon(QStringLiteral("settings"), QStringLiteral("settings-gray")));
    printPreviewButton_->setFixedSize(150, 25);
    printAllButton_ = boldButton(QStringLiteral("Print All"), printPanel_);
    printAllButton_->setObjectName(QStringLiteral("printAllButton"));
    printAllButton_->setIcon(namedIcon(QStringLiteral("printer"), QStringLiteral("printer-gray")));
    printAllButton_->setFixedSize(150, 25);
    printPreviewButton_->setEnabled(false);
    printAllButton_->setEnabled(false);
    buttonRow->addWidget(printPreviewButton_);
    buttonRow->addWidget(printAllButton_);
    buildPagesAtOnceChoice(buttonRow);
    buttonRow->addStretch();
    panelColumn->addLayout(delayRow);
    panelColumn->addLayout(buttonRow);
    column->addWidget(printPanel_);

    statusBar_ = statusBar();
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusLabel_ = new QLabel(statusBar_);
    statusLabel_->setObjectName(QStringLiteral("statusLabel"));
    statusLabel_->setMinimumWidth(50);
    statusLabel_->setTextFormat(Qt::PlainText);
    statusBar_->addWidget(statusLabel_, 1);
    runProgress_ = new QProgressBar(statusBar_);
    runProgress_->setObjectName(QStringLiteral("runProgress"));
    runProgress_->setMaximumWidth(160);
    runProgress_->setAccessibleName(QStringLiteral("Print progress"));
    runProgress_->hide();
    statusBar_->addPermanentWidget(runProgress_);

    pageListMenu_ = new QMenu(this);
    pageListMenu_->setObjectName(QStringLiteral("pageListMenu"));
    deleteSelectedAction_ = pageListMenu_->addAction(QStringLiteral("Delete Selected"));
    deleteSelectedAction_->setObjectName(QStringLiteral("deleteSelectedAction"));
    deleteAllAction_ = pageListMenu_->addAction(QStringLiteral("Delete All"));
    deleteAllAction_->setObjectName(QStringLiteral("deleteAllAction"));
    pageList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(pageList_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pageListMenu_->popup(pageList_->viewport()->mapToGlobal(at)); });

}

void MainWindow::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const QString& text, const QString& icon = QString()) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!icon.isEmpty())
            a->setIcon(namedIcon(icon));
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    addFilesAction_ = action(file, "addFilesAction", QStringLiteral("Add Local HTML File(s)..."));
    addUrlListAction_ = action(file, "addUrlListAction", QStringLiteral("Add URL Address(es)..."));
    file->addSeparator();
    pageSetupAction_ = action(file, "pageSetupAction", QStringLiteral("Page Setup..."));
    printPreviewAction_ = action(file, "printPreviewAction", QStringLiteral("Print Preview..."), QStringLiteral("settings"));
    printAllAction_ = action(file, "printAllAction", QStringLiteral("Print All"), QStringLiteral("printer"));
    file->addSeparator();
    exitAction_ = action(file, "exitAction", QStringLiteral("Exit"), QStringLiteral("exit"));

    browserMenu_ = menuBar()->addMenu(QStringLiteral("&Browser"));
    browserMenu_->setObjectName(QStringLiteral("browserMenu"));
    ie7Action_ = action(browserMenu_, "ie7Action", QStringLiteral("Internet Explorer 7"));
    ie8Action_ = action(browserMenu_, "ie8Action", QStringLiteral("Internet Explorer 8"));
    ie9Action_ = action(browserMenu_, "ie9Action", QStringLiteral("Internet Explorer 9"));
    ie10Action_ = action(browserMenu_, "ie10Action", QStringLiteral("Internet Explorer 10"));
    ie11Action_ = action(browserMenu_, "ie11Action", QStringLiteral("Internet Explorer 11"));
    for (QAction* a : {ie7Action_, ie8Action_, ie9Action_, ie10Action_, ie11Action_})
        a->setCheckable(false); // marks are set once at start-up, never by a click

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    onlineHelpAction_ = action(help, "onlineHelpAction", QStringLiteral("Online Help"), QStringLiteral("help"));
    onlineHelpAction_->setShortcut(QKeySequence(Qt::Key_F1));
    onlineHelpAction_->setShortcutContext(Qt::ApplicationShortcut);
    help->addSeparator();
    updateNotificationsAction_ = action(help, "updateNotificationsAction", QStringLiteral("Update Notifications"));
    updateNotificationsAction_->setCheckable(true);
    updateNotificationsAction_->setChecked(true);
    updateNotificationsAction_->setEnabled(false);
    help->addSeparator();
    sendFeedbackAction_ = action(help, "sendFeedbackAction", QStringLiteral("Send Feedback..."), QStringLiteral("feedback"));
    aboutAction_ = action(help, "aboutAction", QStringLiteral("About..."), QStringLiteral("about"));
}

void MainWindow::buildTimers()
{
    auto timer = [this](const char* name, int interval, bool running) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        if (running)
            t->start();
        return t;
    };
    listFollowTimer_ = timer("listFollowTimer", 50, true);
    emulationMarkTimer_ = timer("emulationMarkTimer", 1, true);
    updateCheckTimer_ = timer("updateCheckTimer", 1000, true);
    hintTimer_ = timer("hintTimer", 1000, true);
}

void MainWindow::connectHandlers()
{
    using dv::guarded;
    connect(listFollowTimer_, &QTimer::timeout, this, guarded([this] { followPageList(); }));
    connect(exitAction_, &QAction::triggered, this, guarded([this] { exitProgram(); }));
    connect(onlineHelpAction_, &QAction::triggered, this, guarded([this] { openOnlineHelp(); }));
    connectAboutHandlers();
    connectPageListHandlers();
    connectAddUrlHandlers();
    connectPrintingHandlers();
    connectEmulationHandlers();
    connectUpdateHandlers();
    connectPageSetupHandlers();
    connectDestinationHandlers();
    applyUnattendedParts();
}

QString MainWindow::statusText() const
{
    return statusLabel_->text();
}

void MainWindow::setStatusText(const QString& text)
{
    statusLabel_->setText(dv::shownEntryLine(text));
}

void MainWindow::startUp()
{
    // A missing or unreadable version resource is reported once; start-up goes on
    // so that the window and its browser pane still come up.
    ExeVersionData data;
    try {
        readExeVersionData(executablePath_, data);
    } catch (...) {
        dv::showDefaultError(std::current_exception());
    }
    AppCompany = data.CompanyName;
    AppProduct = data.ProductName;
    AppVersion = formatVersion(readFileVersion(executablePath_));
    AppTitle = AppCompany + QStringLiteral(" - ") + AppProduct;
    setWindowTitle(AppTitle);
    listTabs_->setTabVisible(listTabs_->indexOf(errorLogTab_), false);
    loadHintPicture();
    createPageSource();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        // Moved to a screen of another pixel density: draw the hint picture again.
        if (QWindow* window = windowHandle())
            connect(window, &QWindow::screenChanged, this, dv::guarded([this] { loadHintPicture(); }));
    }
}

void MainWindow::followPageList()
{
    const bool hasPages = pageList_->count() > 0;
    browserTabs_->setVisible(hasPages);
    if (QSplitterHandle* handle = splitter_->handle(1))
        handle->setVisible(hasPages);
    printPreviewButton_->setEnabled(hasPages);
    printAllButton_->setEnabled(hasPages);
}

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (deferCloseWhileBusy()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::openOnlineHelp()
{
    try {
        services_.shell.openUrl(dv::HelpAddress(AppProduct));
    } catch (...) {
        // The help page is a convenience: nothing is reported when it cannot open.
    }
}

void MainWindow::loadHintPicture()
{
    // Drawn from the vector picture at the screen's pixel density, so it stays sharp.
    const qreal ratio = devicePixelRatioF();
    QPixmap picture(QSize(64, 64) * ratio);
    picture.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/hint.svg"));
    QPainter painter(&picture);
    renderer.render(&painter);
    painter.end();
    picture.setDevicePixelRatio(ratio);
    hintPicture_->clear();
    hintPicture_->setPixmap(picture);
}
