#include "aboutbox.h"

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

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    // Reachable from the keyboard after the two buttons.
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::mousePressEvent(QMouseEvent* event)
{
    // Taken here, so a press on the link never starts dragging_ the box.
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    event->accept();
}

void LinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

AboutBox::AboutBox(dv::Services& services, QString executableDir, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      services_(services), executableDir_(std::move(executableDir))
{
    setObjectName(QStringLiteral("aboutBox"));
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
    startUp();
}

void AboutBox::buildLayout()
{
    infoPanel_ = new QFrame(this);
    infoPanel_->setObjectName(QStringLiteral("infoPanel"));
    infoPanel_->setGeometry(48, 42, 350, 291);
    infoPanel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    infoPanel_->setLineWidth(1);
    infoPanel_->setAutoFillBackground(true);
    infoPanel_->setFont(pixelFont(11));

    // Inside the 1 px bevel: 2 px left and right, 3 px at the top.
    logo_ = new QLabel(infoPanel_);
    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setGeometry(3, 4, LogoSize.width(), LogoSize.height());
    logo_->setAccessibleName(AppCompany.isEmpty() ? QStringLiteral("Logo") : AppCompany);

    iconBevel_ = new QFrame(infoPanel_);
    iconBevel_->setObjectName(QStringLiteral("iconBevel"));
    iconBevel_->setGeometry(9, 122, 34, 34);
    iconBevel_->setFrameStyle(QFrame::Box | QFrame::Sunken);
    iconBevel_->setLineWidth(1);

    productIcon_ = new QLabel(infoPanel_);
    productIcon_->setObjectName(QStringLiteral("productIcon"));
    productIcon_->setGeometry(10, 123, 32, 32);
    productIcon_->setAlignment(Qt::AlignCenter);

    productLabel_ = new QLabel(infoPanel_);
    productLabel_->setObjectName(QStringLiteral("productLabel"));
    productLabel_->setTextFormat(Qt::PlainText);
    productLabel_->setGeometry(49, 122, 290, 40);
    productLabel_->setWordWrap(true);
    productLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    productLabel_->setFont(pixelFont(16));

    okButton_ = new QPushButton(infoPanel_);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setGeometry(49, 224, 122, 33);
    okButton_->setFont(pixelFont(16));
    okButton_->setAutoDefault(false);

    infoButton_ = new QPushButton(infoPanel_);
    infoButton_->setObjectName(QStringLiteral("infoButton"));
    infoButton_->setGeometry(177, 224, 122, 33);
    infoButton_->setFont(pixelFont(16));
    infoButton_->setAutoDefault(false);
    infoButton_->setIcon(QIcon(QStringLiteral(":/about/triangle.svg")));
    infoButton_->setIconSize(QSize(16, 16));
    // The triangle goes after the text, where a drop-down arrow belongs.
    infoButton_->setLayoutDirection(Qt::RightToLeft);

    homePageLink_ = new LinkLabel(infoPanel_);
    homePageLink_->setObjectName(QStringLiteral("homePageLink"));
    QFont link = pixelFont(11, false, QStringLiteral("MS Sans Serif"));
    link.setUnderline(true);
    homePageLink_->setFont(link);
    homePageLink_->setAlignment(Qt::AlignCenter);
    homePageLink_->setAutoFillBackground(true);
    QPalette lime = homePageLink_->palette();
    lime.setColor(QPalette::Window, Qt::black);
    lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
    homePageLink_->setPalette(lime);
    const int linkHeight = homePageLink_->fontMetrics().height();
    homePageLink_->setGeometry(4, infoPanel_->height() - 4 - linkHeight, infoPanel_->width() - 8, linkHeight);

    rainTimer_ = new QTimer(this);
    rainTimer_->setObjectName(QStringLiteral("rainTimer"));
    rainTimer_->setInterval(50);

    infoMenu_ = new QMenu(this);
    infoMenu_->setObjectName(QStringLiteral("infoMenu"));
    creditsAction_ = infoMenu_->addAction(QString());
    creditsAction_->setObjectName(QStringLiteral("creditsAction"));
    uninstallHelpAction_ = infoMenu_->addAction(QString());
    uninstallHelpAction_->setObjectName(QStringLiteral("uninstallHelpAction"));
    licenseAction_ = infoMenu_->addAction(QString());
    licenseAction_->setObjectName(QStringLiteral("licenseAction"));

    setTabOrder(okButton_, infoButton_);
    setTabOrder(infoButton_, homePageLink_);
    okButton_->setFocus();

    for (QWidget* w : {static_cast<QWidget*>(infoPanel_), static_cast<QWidget*>(productIcon_), static_cast<QWidget*>(productLabel_),
             static_cast<QWidget*>(logo_), static_cast<QWidget*>(okButton_), static_cast<QWidget*>(infoButton_)})
        w->installEventFilter(this);

    connect(rainTimer_, &QTimer::timeout, this, dv::guarded([this] { stepRain(); }));
    connect(okButton_, &QPushButton::clicked, this, dv::guarded([this] { closeBox(); }));
    connect(infoButton_, &QPushButton::clicked, this, dv::guarded([this] { showInfoMenu(); }));
    connect(homePageLink_, &LinkLabel::clicked, this, dv::guarded([this] { openHomePage(); }));
    connect(creditsAction_, &QAction::triggered, this, dv::guarded([this] { openCredits(); }));
    connect(uninstallHelpAction_, &QAction::triggered, this, dv::guarded([this] { openUninstallHelp(); }));
    connect(licenseAction_, &QAction::triggered, this, dv::guarded([this] { showLicense(); }));
}

void AboutBox::startUp()
{
    rain_.RainAlphabet = QStringLiteral("kel");
    startRain();
    setWindowTitle(QStringLiteral("About %1").arg(AppProduct));
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/dorvantis.svg"));
    productIcon_->setPixmap(icon.pixmap(QSize(32, 32), devicePixelRatioF()));
    productIcon_->setAccessibleName(AppProduct);
    productLabel_->setText(AppProduct + QLatin1Char(' ') + AppVersion);
    okButton_->setText(QStringLiteral("OK"));
    infoButton_->setText(QStringLiteral("Info"));
    infoButton_->setAccessibleName(QStringLiteral("Info"));
    creditsAction_->setText(QStringLiteral("Acknowledgements..."));
    uninstallHelpAction_->setText(QStringLiteral("How to uninstall..."));
    licenseAction_->setText(QStringLiteral("License..."));
    const QString host = dv::MakerHost();
    homePageLink_->setText(host);
    homePageLink_->setAccessibleName(host);
    homePageLink_->setToolTip(plainToolTip(QStringLiteral("http://") + host + QStringLiteral("/")));
    loadLogo();
}

QSize AboutBox::deviceSize(QSize logical) const
{
    return (QSizeF(logical) * devicePixelRatioF()).toSize();
}

void AboutBox::startRain()
{
    // The grid stays that of the first size for the life of the box.
    rain_.RainStart(deviceSize(frameGeometry().size()), deviceSize(size()));
    rainTimer_->setInterval(50);
    rainTimer_->start();
}

void AboutBox::stepRain()
{
    rain_.RainStep();
    rainRepaint_ = true;
    // Only the black margin shows the rain; the panel need not repaint.
    update(QRegion(rect()).subtracted(infoPanel_->geometry()));
}

void AboutBox::blankSurface()
{
    rain_.FillBlack();
}

void AboutBox::paintEvent(QPaintEvent* event)
{
    if (!rainRepaint_)
        blankSurface();
    rainRepaint_ = false;
    QPainter painter(this);
    const QImage& surface = rain_.surface();
    const qreal ratio = devicePixelRatioF();
    const QRectF covered(QPointF(0, 0), QSizeF(surface.size()) / ratio);
    if (!covered.contains(QRectF(event->rect())))
        painter.fillRect(event->rect(), Qt::black);
    painter.drawImage(covered, surface);
}

void AboutBox::resetRain()
{
    rain_.RainReset(deviceSize(size()));
}

void AboutBox::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    resetRain();
}

void AboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    dv::centreOnScreen(this);
    if (QWindow* window = windowHandle())
        connect(window, &QWindow::screenChanged, this, dv::guarded([this] { followScreenDensity(); }));
    if (!qFuzzyCompare(renderedRatio_, devicePixelRatioF()))
        followScreenDensity();
}

void AboutBox::followScreenDensity()
{
    if (qFuzzyCompare(renderedRatio_, devicePixelRatioF()))
        return;
    loadLogo();
    // A move to another DPI resizes the box in device pixels.
    resetRain();
}

void AboutBox::loadLogo()
{
    const qreal ratio = devicePixelRatioF();
    logo_->clear();
    QPixmap logo((QSizeF(LogoSize) * ratio).toSize());
    logo.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/about/logo.svg"));
    QPainter painter(&logo);
    renderer.render(&painter);
    painter.end();
    logo.setDevicePixelRatio(ratio);
    logo_->setPixmap(logo);
    renderedRatio_ = ratio;
}

void AboutBox::closeBox()
{
    close();
}

void AboutBox::showInfoMenu()
{
    dv::about::ShowPopupBelowButton(infoButton_, infoMenu_);
}

void AboutBox::openHomePage()
{
    services_.shell.openUrl(QStringLiteral("http://") + dv::MakerHost() + QStringLiteral("/"));
}

void AboutBox::openCredits()
{
    services_.shell.openUrl(
        dv::MakerUrl(QStringLiteral("https"), QStringLiteral("/blog/credits-and-acknowledgements/")));
}

void AboutBox::openUninstallHelp()
{
    services_.shell.openUrl(
        dv::MakerUrl(QStringLiteral("http"), QStringLiteral("/blog/how-to-uninstall-kelmaro-software/")));
}

void AboutBox::showLicense()
{
    const QString path = QDir(executableDir_).filePath(QStringLiteral("license.txt"));
    // isFile follows symbolic links and turns down a folder of that name.
    if (QFileInfo(path).isFile())
        services_.shell.openTextFile(path);
    else
        services_.dialogs.messageBox(this, QStringLiteral("File not found!"), QStringLiteral("License"),
            dv::MB_ICONERROR);
}

void AboutBox::startDrag(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint();
}

void AboutBox::continueDrag(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const QPoint now = event->globalPosition().toPoint();
    move(pos() + (now - dragOffset_));
    dragOffset_ = now;
}

void AboutBox::endDrag(QMouseEvent*)
{
    dragging_ = false;
}

void AboutBox::mousePressEvent(QMouseEvent* event)
{
    startDrag(event);
}

void AboutBox::mouseMoveEvent(QMouseEvent* event)
{
    continueDrag(event);
}

void AboutBox::mouseReleaseEvent(QMouseEvent* event)
{
    endDrag(event);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == okButton_ || watched == infoButton_) {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        return QDialog::eventFilter(watched, event);
    }
    // The panel, the icon, the product label and the logo drag the box.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        startDrag(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        continueDrag(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        endDrag(static_cast<QMouseEvent*>(event));
        return true;
    default:
        return QDialog::eventFilter(watched, event);
    }
}
