#include "updatenotice.h"

#include "identity.h"
#include "resources.h"
#include "shell.h"
#include "check.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantAnimation>

qint64 updateNoticeCountdown = 11;

namespace dv {

QString MakerHomePage()
{
    return MakerUrl(QStringLiteral("https"), QStringLiteral("/"));
}

QString DownloadAddressToOpen(const QString& downloadUrl)
{
    // The address comes from the network: only a web address may reach the
    // shell, never a local file, a script or a program.
    const QUrl url(downloadUrl.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty())
        return downloadUrl.trimmed();
    return MakerHomePage();
}

} // namespace dv

namespace {

QFont tahoma(int pixelSize, bool bold = false, bool underline = false)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

} // namespace

UpdateNotice::UpdateNotice(dv::Shell& shell, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , shell_(shell)
    , mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("updateNotice"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    dv::initResources();
    buildLayout();
    placeAndFill();

    showTimer_ = new QTimer(this);
    showTimer_->setObjectName(QStringLiteral("showTimer"));
    showTimer_->setInterval(1);
    countdownTimer_ = new QTimer(this);
    countdownTimer_->setObjectName(QStringLiteral("countdownTimer"));
    countdownTimer_->setInterval(1000);
    linkHoverTimer_ = new QTimer(this);
    linkHoverTimer_->setObjectName(QStringLiteral("linkHoverTimer"));
    linkHoverTimer_->setInterval(100);
    connect(showTimer_, &QTimer::timeout, this, &UpdateNotice::showNotice);
    connect(countdownTimer_, &QTimer::timeout, this, &UpdateNotice::countDown);
    connect(linkHoverTimer_, &QTimer::timeout, this, &UpdateNotice::followLinkHover);
    connect(closeButton_, &QToolButton::clicked, this, &UpdateNotice::closeNotice);
    showTimer_->start();
    countdownTimer_->start();
    linkHoverTimer_->start();
}

void UpdateNotice::buildLayout()
{
    setFixedSize(320, 68);
    setFont(tahoma(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("UPDATE AVAILABLE"));

    frame_ = new QFrame(this);
    frame_->setObjectName(QStringLiteral("frame"));
    frame_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame_->setLineWidth(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame_);

    auto* row = new QHBoxLayout(frame_);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    picture_ = new QLabel(frame_);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setFixedSize(60, 60);
    picture_->setAlignment(Qt::AlignCenter);
    auto* imageBox = new QVBoxLayout;
    imageBox->setContentsMargins(3, 3, 3, 3);
    imageBox->addWidget(picture_);
    row->addLayout(imageBox);

    textPanel_ = new QWidget(frame_);
    textPanel_->setObjectName(QStringLiteral("textPanel"));
    auto* texts = new QVBoxLayout(textPanel_);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(0);
    titleLabel_ = new QLabel(textPanel_);
    titleLabel_->setObjectName(QStringLiteral("titleLabel"));
    titleLabel_->setTextFormat(Qt::PlainText);
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setFont(tahoma(13, true));
    titleLabel_->setContentsMargins(3, 3, 3, 3);
    texts->addWidget(titleLabel_);
    downloadLink_ = new QLabel(textPanel_);
    downloadLink_->setObjectName(QStringLiteral("downloadLink"));
    downloadLink_->setTextFormat(Qt::PlainText);
    downloadLink_->setAlignment(Qt::AlignCenter);
    downloadLink_->setWordWrap(true);
    downloadLink_->setFont(tahoma(13, false, true));
    downloadLink_->setCursor(Qt::PointingHandCursor);
    downloadLink_->setFocusPolicy(Qt::StrongFocus);
    texts->addWidget(downloadLink_, 1);
    row->addWidget(textPanel_, 1);

    closePanel_ = new QWidget(frame_);
    closePanel_->setObjectName(QStringLiteral("closePanel"));
    closePanel_->setFixedWidth(22);
    auto* side = new QVBoxLayout(closePanel_);
    side->setContentsMargins(0, 0, 0, 0);
    closeButton_ = new QToolButton(closePanel_);
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    closeButton_->setFixedSize(22, 22);
    closeButton_->setCursor(Qt::PointingHandCursor);
    closeButton_->setIcon(QIcon(QStringLiteral(":/icons/close.svg")));
    closeButton_->setIconSize(QSize(16, 16));
    closeButton_->setAutoRaise(true);
    closeButton_->setToolTip(QStringLiteral("Close"));
    closeButton_->setAccessibleName(QStringLiteral("Close"));
    side->addWidget(closeButton_);
    side->addStretch(1);
    row->addWidget(closePanel_);

    // Dragging works on these; the link, its panel and the button keep their presses.
    for (QWidget* w : {static_cast<QWidget*>(frame_), static_cast<QWidget*>(picture_), static_cast<QWidget*>(titleLabel_),
                       closePanel_, textPanel_, static_cast<QWidget*>(downloadLink_)})
        w->installEventFilter(this);
}

void UpdateNotice::placeAndFill()
{
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/dorvantis.svg"));
    picture_->setPixmap(icon.pixmap(QSize(48, 48), devicePixelRatioF()));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + s.width() - width() - 5, s.y() + 5);
    }

    titleLabel_->setText(QStringLiteral("UPDATE AVAILABLE"));
    downloadLink_->setText(QStringLiteral("Click to download ") + AppProduct + QLatin1Char(' ') + NewVersion);
    downloadLink_->setAccessibleName(downloadLink_->text());
    followLinkHover();
}

void UpdateNotice::animate(bool grow)
{
    // A mask growing from (or shrinking to) the centre: the window keeps its size
    // and layout while only its visible part changes.
    delete animation_;
    animation_ = new QVariantAnimation(this);
    animation_->setDuration(AnimationMs);
    animation_->setStartValue(grow ? 0.0 : 1.0);
    animation_->setEndValue(grow ? 1.0 : 0.0);
    const QRect full = rect();
    connect(animation_, &QVariantAnimation::valueChanged, this, [this, full](const QVariant& v) {
        const double f = v.toDouble();
        const int w = qMax(1, int(full.width() * f));
        const int h = qMax(1, int(full.height() * f));
        setMask(QRegion(QRect(full.center().x() - w / 2, full.center().y() - h / 2, w, h)));
    });
    connect(animation_, &QVariantAnimation::finished, this, [this, grow] {
        if (grow) {
            clearMask();
        } else {
            close();
            clearMask();
        }
    });
    if (grow)
        setMask(QRegion(QRect(rect().center(), QSize(1, 1))));
    animation_->start();
}

void UpdateNotice::showNotice()
{
    showTimer_->stop();
    animate(true);
    show();
    try {
        if (mainWindow_) {
            mainWindow_->activateWindow();
            mainWindow_->raise();
        }
    } catch (...) {
        // The notice stays visible whether or not the focus went back.
    }
    // Stay above the main window that was just raised.
    raise();
}

void UpdateNotice::countDown()
{
    --updateNoticeCountdown;
    if (updateNoticeCountdown == 0) {
        countdownTimer_->stop();
        animate(false);
    }
}

void UpdateNotice::followLinkHover()
{
    const QPoint local = downloadLink_->mapFromGlobal(QCursor::pos());
    const bool over = downloadLink_->rect().contains(local);
    QPalette pal = downloadLink_->palette();
    const QColor colour = palette().color(over ? QPalette::Highlight : QPalette::WindowText);
    if (pal.color(QPalette::WindowText) != colour) {
        pal.setColor(QPalette::WindowText, colour);
        downloadLink_->setPalette(pal);
    }
}

void UpdateNotice::openDownload()
{
    try {
        shell_.openUrl(dv::DownloadAddressToOpen(DownloadURL));
    } catch (...) {
        // The window closes whether or not the browser opened.
    }
    close();
}

void UpdateNotice::closeNotice()
{
    close();
}

bool UpdateNotice::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseMove
        || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick;
    if (watched == downloadLink_) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                openDownload();
                return true;
            }
        }
        if (type == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton && downloadLink_->rect().contains(e->position().toPoint()))
                openDownload();
        }
        // Pressing the link never starts a drag.
        return mouse;
    }
    if (watched == textPanel_)
        return mouse;
    if (mouse) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            startDrag(e);
        else if (type == QEvent::MouseMove)
            continueDrag(e);
        else
            endDrag(e);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void UpdateNotice::mousePressEvent(QMouseEvent* event)
{
    startDrag(event);
}

void UpdateNotice::mouseMoveEvent(QMouseEvent* event)
{
    continueDrag(event);
}

void UpdateNotice::mouseReleaseEvent(QMouseEvent* event)
{
    endDrag(event);
}

void UpdateNotice::startDrag(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        return;
    const QPoint p = event->globalPosition().toPoint();
    dragging_ = true;
    dragX_ = p.x();
    dragY_ = p.y();
}

void UpdateNotice::continueDrag(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const QPoint p = event->globalPosition().toPoint();
    const int left = x() + p.x() - dragX_;
    const int top = y() + p.y() - dragY_;
    dragX_ = p.x();
    dragY_ = p.y();
    move(left, top);
}

void UpdateNotice::endDrag(QMouseEvent*)
{
    dragging_ = false;
}

void UpdateNotice::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void UpdateNotice::closeEvent(QCloseEvent* event)
{
    // Closed for good: nothing more to count down or light up.
    showTimer_->stop();
    countdownTimer_->stop();
    linkHoverTimer_->stop();
    if (animation_)
        animation_->stop();
    clearMask();
    event->accept();
}
