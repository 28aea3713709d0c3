#include "appform.h"

#include "browsercontrol.h"

#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "identity.h"
#include "listbox.h"
#include "services.h"
#include "shell.h"
#include "versioninfo.h"
#include "helpname.h"
#include "placement.h"
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

TAppForm* AppForm = nullptr;

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

TAppForm::TAppForm(dv::Services& services, AppParts parts, QWidget* parent)
    : QMainWindow(parent), services_(services), parts_(std::move(parts))
{
    dv::initResources();
    AppForm = this;
    executablePath_ = parts_.executablePath.isEmpty() ? QCoreApplication::applicationFilePath() : parts_.executablePath;
    setObjectName(QStringLiteral("AppForm"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    buildLayout();
    buildMenus();
    buildTimers();
    connectHandlers();
    FormCreate();
}

TAppForm::~TAppForm()
{
    if (AppForm == this)
        AppForm = nullptr;
}

void TAppForm::buildLayout()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // Hint bar, hidden until the emulation level asks for it.
    PanelHint = new QFrame(central);
    PanelHint->setObjectName(QStringLiteral("PanelHint"));
    PanelHint->setFixedHeight(70);
    PanelHint->setAutoFillBackground(true);
    QPalette white = PanelHint->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    PanelHint->setPalette(white);
    auto* hintRow = new QHBoxLayout(PanelHint);
    hintRow->setContentsMargins(3, 3, 8, 3);
    Image1 = new QLabel(PanelHint);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(64, 64);
    Image1->setAccessibleName(QStringLiteral("Hint"));
    auto* hintTexts = new QVBoxLayout();
    Label3 = new QLabel(QStringLiteral("HINT"), PanelHint);
    Label3->setObjectName(QStringLiteral("Label3"));
    QFont hintFont(font());
    hintFont.setPointSize(10);
    hintFont.setBold(true);
    Label3->setFont(hintFont);
    Label4 = new QLabel(QStringLiteral("Use Internet Explorer 11 browser emulation for best quality."), PanelHint);
    Label4->setObjectName(QStringLiteral("Label4"));
    hintTexts->addStretch();
    hintTexts->addWidget(Label3);
    hintTexts->addWidget(Label4);
    hintTexts->addStretch();
    Button5 = new QPushButton(namedIcon(QStringLiteral("tick_button")), QStringLiteral("Apply"), PanelHint);
    Button5->setObjectName(QStringLiteral("Button5"));
    hintRow->addWidget(Image1);
    hintRow->addSpacing(8);
    hintRow->addLayout(hintTexts, 1);
    hintRow->addWidget(Button5);
    PanelHint->hide();
    column->addWidget(PanelHint);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(5);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1, 1);

    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget();
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* listColumn = new QVBoxLayout(TabSheet1);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(0);
    Panel1 = new QWidget(TabSheet1);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(26);
    auto* tools = new QHBoxLayout(Panel1);
    tools->setContentsMargins(0, 0, 0, 0);
    tools->setSpacing(0);
    auto toolButton = [this](const char* name, const QString& icon, const QString& hint) {
        auto* b = new QToolButton(Panel1);
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
    ButtonLoad = toolButton("ButtonLoad", QStringLiteral("folder48"), QStringLiteral("Load List From File..."));
    ButtonSave = toolButton("ButtonSave", QStringLiteral("save"), QStringLiteral("Save List Into File..."));
    Button1 = new QPushButton(QStringLiteral("Add HTML Files"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedSize(140, 26);
    Button2 = new QPushButton(QStringLiteral("Add URL List"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setFixedSize(140, 26);
    tools->addWidget(ButtonLoad);
    tools->addWidget(ButtonSave);
    tools->addWidget(Button1);
    tools->addWidget(Button2);
    tools->addStretch();
    ListBox1 = new TListBox(TabSheet1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setAccessibleName(QStringLiteral("HTML List"));
    listColumn->addWidget(Panel1);
    listColumn->addWidget(ListBox1, 1);
    PageControl1->addTab(TabSheet1, QStringLiteral("HTML List"));

    TabSheet3 = new QWidget();
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    auto* logColumn = new QVBoxLayout(TabSheet3);
    logColumn->setContentsMargins(0, 0, 0, 0);
    Memo1 = new QPlainTextEdit(TabSheet3);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setAccessibleName(QStringLiteral("Error Log"));
    logColumn->addWidget(Memo1);
    PageControl1->addTab(TabSheet3, QStringLiteral("Error Log"));

    PageControl2 = new QTabWidget(Splitter1);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    TabSheet2 = new QWidget();
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    auto* browserColumn = new QVBoxLayout(TabSheet2);
    browserColumn->setContentsMargins(0, 0, 0, 0);
    PageControl2->addTab(TabSheet2, QStringLiteral("Internet Explorer"));
    PageControl2->hide();
    Splitter1->addWidget(PageControl1);
    Splitter1->addWidget(PageControl2);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({714 - 335 - 5, 335});

    Panel2 = new QWidget(central);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(68);
    auto* panelColumn = new QVBoxLayout(Panel2);
    panelColumn->setContentsMargins(8, 6, 8, 6);
    auto* delayRow = new QHBoxLayout();
    Label1 = new QLabel(QStringLiteral("Delay after page load:"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    SpinEdit1 = new QSpinBox(Panel2);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(0, 999999999);
    SpinEdit1->setValue(2);
    SpinEdit1->setMinimumWidth(90);
    SpinEdit1->setAccessibleName(QStringLiteral("Delay after page load in seconds"));
    Label1->setBuddy(SpinEdit1);
    Label2 = new QLabel(QStringLiteral("(seconds)"), Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    delayRow->addWidget(Label1);
    delayRow->addWidget(SpinEdit1);
    delayRow->addWidget(Label2);
    delayRow->addStretch();
    auto* buttonRow = new QHBoxLayout();
    Button3 = boldButton(QStringLiteral("Print Preview"), Panel2);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setIcon(namedIcon(QStringLiteral("settings"), QStringLiteral("settings-gray")));
    Button3->setFixedSize(150, 25);
    Button4 = boldButton(QStringLiteral("Print All"), Panel2);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setIcon(namedIcon(QStringLiteral("printer"), QStringLiteral("printer-gray")));
    Button4->setFixedSize(150, 25);
    Button3->setEnabled(false);
    Button4->setEnabled(false);
    buttonRow->addWidget(Button3);
    buttonRow->addWidget(Button4);
    buttonRow->addStretch();
    panelColumn->addLayout(delayRow);
    panelColumn->addLayout(buttonRow);
    column->addWidget(Panel2);

    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setMinimumWidth(50);
    StatusPanel->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(StatusPanel, 1);
    ProgressBar1 = new QProgressBar(StatusBar1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setMaximumWidth(160);
    ProgressBar1->setAccessibleName(QStringLiteral("Print progress"));
    ProgressBar1->hide();
    StatusBar1->addPermanentWidget(ProgressBar1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    DeleteSelected1 = PopupMenu1->addAction(QStringLiteral("Delete Selected"));
    DeleteSelected1->setObjectName(QStringLiteral("DeleteSelected1"));
    DeleteAll1 = PopupMenu1->addAction(QStringLiteral("Delete All"));
    DeleteAll1->setObjectName(QStringLiteral("DeleteAll1"));
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at)); });

    // 714 x 402 is the client area below the menu bar, status bar included.
    resize(714, 402 + menuBar()->sizeHint().height());
    dv::centreOnScreen(this);
}

void TAppForm::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const QString& text, const QString& icon = QString()) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!icon.isEmpty())
            a->setIcon(namedIcon(icon));
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File1"));
    AddLocalHTMLFiles1 = action(file, "AddLocalHTMLFiles1", QStringLiteral("Add Local HTML File(s)..."));
    AddURLAddresses1 = action(file, "AddURLAddresses1", QStringLiteral("Add URL Address(es)..."));
    file->addSeparator();
    PrintPreview1 = action(file, "PrintPreview1", QStringLiteral("Print Preview..."), QStringLiteral("settings"));
    PrintAll1 = action(file, "PrintAll1", QStringLiteral("Print All"), QStringLiteral("printer"));
    file->addSeparator();
    Exit1 = action(file, "Exit1", QStringLiteral("Exit"), QStringLiteral("exit"));

    Browser1 = menuBar()->addMenu(QStringLiteral("&Browser"));
    Browser1->setObjectName(QStringLiteral("Browser1"));
    InternetExplorer71 = action(Browser1, "InternetExplorer71", QStringLiteral("Internet Explorer 7"));
    InternetExplorer81 = action(Browser1, "InternetExplorer81", QStringLiteral("Internet Explorer 8"));
    InternetExplorer91 = action(Browser1, "InternetExplorer91", QStringLiteral("Internet Explorer 9"));
    InternetExplorer101 = action(Browser1, "InternetExplorer101", QStringLiteral("Internet Explorer 10"));
    InternetExplorer111 = action(Browser1, "InternetExplorer111", QStringLiteral("Internet Explorer 11"));
    for (QAction* a : {InternetExplorer71, InternetExplorer81, InternetExplorer91, InternetExplorer101, InternetExplorer111})
        a->setCheckable(false); // marks are set once at start-up, never by a click

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Help1"));
    Help2 = action(help, "Help2", QStringLiteral("Online Help"), QStringLiteral("help"));
    Help2->setShortcut(QKeySequence(Qt::Key_F1));
    Help2->setShortcutContext(Qt::ApplicationShortcut);
    help->addSeparator();
    UpdateNotifications1 = action(help, "UpdateNotifications1", QStringLiteral("Update Notifications"));
    UpdateNotifications1->setCheckable(true);
    UpdateNotifications1->setChecked(true);
    UpdateNotifications1->setEnabled(false);
    help->addSeparator();
    SendFeedback1 = action(help, "SendFeedback1", QStringLiteral("Send Feedback..."), QStringLiteral("feedback"));
    About1 = action(help, "About1", QStringLiteral("About..."), QStringLiteral("about"));
}

void TAppForm::buildTimers()
{
    auto timer = [this](const char* name, int interval, bool running) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        if (running)
            t->start();
        return t;
    };
    Timer1 = timer("Timer1", 50, true);
    TimerIE = timer("TimerIE", 1, true);
    TimerChecker = timer("TimerChecker", 1000, true);
    TimerHint = timer("TimerHint", 1000, true);
    TimerDelay = timer("TimerDelay", 1000, false);
}

void TAppForm::connectHandlers()
{
    using dv::guarded;
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    connect(Exit1, &QAction::triggered, this, guarded([this] { Exit1Click(); }));
    connect(Help2, &QAction::triggered, this, guarded([this] { Help2Click(); }));
    connectAboutHandlers();
    connectPageListHandlers();
    connectAddUrlHandlers();
    connectPrintingHandlers();
    connectEmulationHandlers();
    connectUpdateHandlers();
}

QString TAppForm::statusText() const
{
    return StatusPanel->text();
}

void TAppForm::setStatusText(const QString& text)
{
    StatusPanel->setText(text);
}

void TAppForm::FormCreate()
{
    // A missing or unreadable version resource is reported once; start-up goes on
    // so that the window and its browser pane still come up.
    TEXEVersionData data;
    try {
        GetEXEVersionData(executablePath_, data);
    } catch (...) {
        dv::showDefaultError(std::current_exception());
    }
    AppCompany = data.CompanyName;
    AppProduct = data.ProductName;
    AppVersion = FormatVersion(GetFileVersion(executablePath_));
    AppTitle = AppCompany + QStringLiteral(" - ") + AppProduct;
    setWindowTitle(AppTitle);
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet3), false);
    HighDPIImageYukle();
    WebBrowserYukle();
}

void TAppForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        // Moved to a screen of another pixel density: draw the hint picture again.
        if (QWindow* window = windowHandle())
            connect(window, &QWindow::screenChanged, this, dv::guarded([this] { HighDPIImageYukle(); }));
        FormShow();
    }
}

void TAppForm::FormShow()
{
    // The status bar of a QMainWindow is always laid out below everything else, so
    // there is nothing to move here.
}

void TAppForm::Timer1Timer()
{
    const bool hasPages = ListBox1->count() > 0;
    PageControl2->setVisible(hasPages);
    if (QSplitterHandle* handle = Splitter1->handle(1))
        handle->setVisible(hasPages);
    Button3->setEnabled(hasPages);
    Button4->setEnabled(hasPages);
}

void TAppForm::Exit1Click()
{
    close();
}

void TAppForm::closeEvent(QCloseEvent* event)
{
    if (deferCloseWhileBusy()) {
        event->ignore();
        return;
    }
    event->accept();
    QCoreApplication::quit();
}

void TAppForm::Help2Click()
{
    try {
        services_.shell.openUrl(dv::HelpAddress(AppProduct));
    } catch (...) {
        // The help page is a convenience: nothing is reported when it cannot open.
    }
}

void TAppForm::HighDPIImageYukle()
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
    Image1->clear();
    Image1->setPixmap(picture);
}
