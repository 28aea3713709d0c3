#include "about.h"

#include "dialogs.h"
#include "errordialog.h"
#include "placement.h"
#include "fonts.h"
#include "identity.h"
#include "resources.h"
#include "popup.h"
#include "services.h"
#include "shell.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <QWindow>

using dv::about::pixelFont;

namespace {

// Logo size in the box, at 96 dpi.
constexpr QSize LogoSize(344, 105);

QString plainToolTip(const QString& text)
{
    // Forced rich text with the text escaped: tags in it show as typed.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    // Reachable from the keyboard after the two buttons.
    setFocusPolicy(Qt::TabFocus);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event)
{
    // Taken here, so a press on the link never starts dragging the box.
    event->accept();
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    event->accept();
}

void TLinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

TAboutBox::TAboutBox(dv::Services& services, QString executableDir, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      services_(services), executableDir_(std::move(executableDir))
{
    setObjectName(QStringLiteral("AboutBox"));
    dv::initResources();
    setAttribute(Qt::WA_DeleteOnClose);
    // The rain surface covers the whole box; Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("About"));
    setFont(pixelFont(11));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    setPalette(black);
    setFixedSize(446, 374);
    buildLayout();
    FormCreate();
}

void TAboutBox::buildLayout()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(48, 42, 350, 291);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    Panel1->setFont(pixelFont(11));

    // Inside the 1 px bevel: 2 px left and right, 3 px at the top.
    Image2 = new QLabel(Panel1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(3, 4, LogoSize.width(), LogoSize.height());
    Image2->setAccessibleName(AppCompany.isEmpty() ? QStringLiteral("Logo") : AppCompany);

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(9, 122, 34, 34);
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setLineWidth(1);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(10, 123, 32, 32);
    Image1->setAlignment(Qt::AlignCenter);

    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setGeometry(49, 122, 290, 40);
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setFont(pixelFont(16));

    BitBtn1 = new QPushButton(Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(49, 224, 122, 33);
    BitBtn1->setFont(pixelFont(16));
    BitBtn1->setAutoDefault(false);

    BitBtn2 = new QPushButton(Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(177, 224, 122, 33);
    BitBtn2->setFont(pixelFont(16));
    BitBtn2->setAutoDefault(false);
    BitBtn2->setIcon(QIcon(QStringLiteral(":/about/triangle.svg")));
    BitBtn2->setIconSize(QSize(16, 16));
    // The triangle goes after the text, where a drop-down arrow belongs.
    BitBtn2->setLayoutDirection(Qt::RightToLeft);

    Label5 = new TLinkLabel(Panel1);
    Label5->setObjectName(QStringLiteral("Label5"));
    QFont link = pixelFont(11, false, QStringLiteral("MS Sans Serif"));
    link.setUnderline(true);
    Label5->setFont(link);
    Label5->setAlignment(Qt::AlignCenter);
    Label5->setAutoFillBackground(true);
    QPalette lime = Label5->palette();
    lime.setColor(QPalette::Window, Qt::black);
    lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
    Label5->setPalette(lime);
    const int linkHeight = Label5->fontMetrics().height();
    Label5->setGeometry(4, Panel1->height() - 4 - linkHeight, Panel1->width() - 8, linkHeight);

    tmTimer = new QTimer(this);
    tmTimer->setObjectName(QStringLiteral("tmTimer"));
    tmTimer->setInterval(50);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Credits1 = PopupMenu1->addAction(QString());
    Credits1->setObjectName(QStringLiteral("Credits1"));
    Howtouninstall1 = PopupMenu1->addAction(QString());
    Howtouninstall1->setObjectName(QStringLiteral("Howtouninstall1"));
    LicensePrivacyPolicy1 = PopupMenu1->addAction(QString());
    LicensePrivacyPolicy1->setObjectName(QStringLiteral("LicensePrivacyPolicy1"));

    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, Label5);
    BitBtn1->setFocus();

    for (QWidget* w : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label2),
             static_cast<QWidget*>(Image2), static_cast<QWidget*>(BitBtn1), static_cast<QWidget*>(BitBtn2)})
        w->installEventFilter(this);

    connect(tmTimer, &QTimer::timeout, this, dv::guarded([this] { tmTimerTimer(); }));
    connect(BitBtn1, &QPushButton::clicked, this, dv::guarded([this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, dv::guarded([this] { BitBtn2Click(); }));
    connect(Label5, &TLinkLabel::clicked, this, dv::guarded([this] { Label5Click(); }));
    connect(Credits1, &QAction::triggered, this, dv::guarded([this] { Credits1Click(); }));
    connect(Howtouninstall1, &QAction::triggered, this, dv::guarded([this] { Howtouninstall1Click(); }));
    connect(LicensePrivacyPolicy1, &QAction::triggered, this, dv::guarded([this] { LicensePrivacyPolicy1Click(); }));
}

void TAboutBox::FormCreate()
{
    rain_.RainAlphabet = QStringLiteral("kel");
    RainStart();
    setWindowTitle(QStringLiteral("About %1").arg(AppProduct));
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/dorvantis.svg"));
    Image1->setPixmap(icon.pixmap(QSize(32, 32), devicePixelRatioF()));
    Image1->setAccessibleName(AppProduct);
    Label2->setText(AppProduct + QLatin1Char(' ') + AppVersion);
    BitBtn1->setText(QStringLiteral("OK"));
    BitBtn2->setText(QStringLiteral("Info"));
    BitBtn2->setAccessibleName(QStringLiteral("Info"));
    Credits1->setText(QStringLiteral("Acknowledgements..."));
    Howtouninstall1->setText(QStringLiteral("How to uninstall..."));
    LicensePrivacyPolicy1->setText(QStringLiteral("License..."));
    const QString host = dv::MakerHost();
    Label5->setText(host);
    Label5->setAccessibleName(host);
    Label5->setToolTip(plainToolTip(QStringLiteral("http://") + host + QStringLiteral("/")));
    HighDPIImageYukle();
}

QSize TAboutBox::deviceSize(QSize logical) const
{
    return (QSizeF(logical) * devicePixelRatioF()).toSize();
}

void TAboutBox::RainStart()
{
    // The grid stays that of the first size for the life of the box.
    rain_.RainStart(deviceSize(frameGeometry().size()), deviceSize(size()));
    tmTimer->setInterval(50);
    tmTimer->start();
}

void TAboutBox::tmTimerTimer()
{
    rain_.RainStep();
    rainRepaint_ = true;
    // Only the black margin shows the rain; the panel need not repaint.
    update(QRegion(rect()).subtracted(Panel1->geometry()));
}

void TAboutBox::FormPaint()
{
    rain_.FillBlack();
}

void TAboutBox::paintEvent(QPaintEvent* event)
{
    if (!rainRepaint_)
        FormPaint();
    rainRepaint_ = false;
    QPainter painter(this);
    const QImage& surface = rain_.surface();
    const qreal ratio = devicePixelRatioF();
    const QRectF covered(QPointF(0, 0), QSizeF(surface.size()) / ratio);
    if (!covered.contains(QRectF(event->rect())))
        painter.fillRect(event->rect(), Qt::black);
    painter.drawImage(covered, surface);
}

void TAboutBox::FormResize()
{
    rain_.RainReset(deviceSize(size()));
}

void TAboutBox::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    dv::centreOnScreen(this);
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, dv::guarded([this] { FormAfterMonitorDpiChanged(); }));
    if (!qFuzzyCompare(renderedRatio_, devicePixelRatioF()))
        FormAfterMonitorDpiChanged();
}

void TAboutBox::FormAfterMonitorDpiChanged()
{
    if (qFuzzyCompare(renderedRatio_, devicePixelRatioF()))
        return;
    HighDPIImageYukle();
    // A move to another DPI resizes the box in device pixels.
    FormResize();
}

void TAboutBox::HighDPIImageYukle()
{
    const qreal ratio = devicePixelRatioF();
    Image2->clear();
    QPixmap logo((QSizeF(LogoSize) * ratio).toSize());
    logo.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/about/logo.svg"));
    QPainter painter(&logo);
    renderer.render(&painter);
    painter.end();
    logo.setDevicePixelRatio(ratio);
    Image2->setPixmap(logo);
    renderedRatio_ = ratio;
}

void TAboutBox::BitBtn1Click()
{
    close();
}

void TAboutBox::BitBtn2Click()
{
    dv::about::ShowPopupBelowButton(BitBtn2, PopupMenu1);
}

void TAboutBox::Label5Click()
{
    services_.shell.openUrl(QStringLiteral("http://") + dv::MakerHost() + QStringLiteral("/"));
}

void TAboutBox::Credits1Click()
{
    services_.shell.openUrl(
        dv::MakerUrl(QStringLiteral("https"), QStringLiteral("/blog/credits-and-acknowledgements/")));
}

void TAboutBox::Howtouninstall1Click()
{
    services_.shell.openUrl(
        dv::MakerUrl(QStringLiteral("http"), QStringLiteral("/blog/how-to-uninstall-kelmaro-software/")));
}

void TAboutBox::LicensePrivacyPolicy1Click()
{
    const QString path = QDir(executableDir_).filePath(QStringLiteral("license.txt"));
    // isFile follows symbolic links and turns down a folder of that name.
    if (QFileInfo(path).isFile())
        services_.shell.openTextFile(path);
    else
        services_.dialogs.messageBox(this, QStringLiteral("File not found!"), QStringLiteral("License"),
            dv::MB_ICONERROR);
}

void TAboutBox::FormMouseDown(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        return;
    dragging = true;
    dxy = event->globalPosition().toPoint();
}

void TAboutBox::FormMouseMove(QMouseEvent* event)
{
    if (!dragging)
        return;
    const QPoint now = event->globalPosition().toPoint();
    move(pos() + (now - dxy));
    dxy = now;
}

void TAboutBox::FormMouseUp(QMouseEvent*)
{
    dragging = false;
}

void TAboutBox::mousePressEvent(QMouseEvent* event)
{
    FormMouseDown(event);
}

void TAboutBox::mouseMoveEvent(QMouseEvent* event)
{
    FormMouseMove(event);
}

void TAboutBox::mouseReleaseEvent(QMouseEvent* event)
{
    FormMouseUp(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == BitBtn1 || watched == BitBtn2) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    // The panel, the icon, the product label and the logo drag the box.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        FormMouseDown(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        FormMouseMove(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        FormMouseUp(static_cast<QMouseEvent*>(event));
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}
