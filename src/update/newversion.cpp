#include "newversion.h"

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

qint64 NewVerCloseCountdown = 11;

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

TNewVer::TNewVer(dv::Shell& shell, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , shell_(shell)
    , mainWindow_(mainWindow)
{
    setObjectName(QStringLiteral("NewVer"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    dv::initResources();
    buildLayout();
    FormCreate();

    TimerStart = new QTimer(this);
    TimerStart->setObjectName(QStringLiteral("TimerStart"));
    TimerStart->setInterval(1);
    TimerClose = new QTimer(this);
    TimerClose->setObjectName(QStringLiteral("TimerClose"));
    TimerClose->setInterval(1000);
    TimerLink = new QTimer(this);
    TimerLink->setObjectName(QStringLiteral("TimerLink"));
    TimerLink->setInterval(100);
    connect(TimerStart, &QTimer::timeout, this, &TNewVer::TimerStartTimer);
    connect(TimerClose, &QTimer::timeout, this, &TNewVer::TimerCloseTimer);
    connect(TimerLink, &QTimer::timeout, this, &TNewVer::TimerLinkTimer);
    connect(Button1, &QToolButton::clicked, this, &TNewVer::Button1Click);
    TimerStart->start();
    TimerClose->start();
    TimerLink->start();
}

void TNewVer::buildLayout()
{
    setFixedSize(320, 68);
    setFont(tahoma(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("UPDATE AVAILABLE"));

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Panel1);

    auto* row = new QHBoxLayout(Panel1);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(60, 60);
    Image1->setAlignment(Qt::AlignCenter);
    auto* imageBox = new QVBoxLayout;
    imageBox->setContentsMargins(3, 3, 3, 3);
    imageBox->addWidget(Image1);
    row->addLayout(imageBox);

    Panel2 = new QWidget(Panel1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* texts = new QVBoxLayout(Panel2);
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(0);
    Label1 = new QLabel(Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(tahoma(13, true));
    Label1->setContentsMargins(3, 3, 3, 3);
    texts->addWidget(Label1);
    Label2 = new QLabel(Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    Label2->setFont(tahoma(13, false, true));
    Label2->setCursor(Qt::PointingHandCursor);
    Label2->setFocusPolicy(Qt::StrongFocus);
    texts->addWidget(Label2, 1);
    row->addWidget(Panel2, 1);

    Panel3 = new QWidget(Panel1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedWidth(22);
    auto* side = new QVBoxLayout(Panel3);
    side->setContentsMargins(0, 0, 0, 0);
    Button1 = new QToolButton(Panel3);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setFixedSize(22, 22);
    Button1->setCursor(Qt::PointingHandCursor);
    Button1->setIcon(QIcon(QStringLiteral(":/icons/close.svg")));
    Button1->setIconSize(QSize(16, 16));
    Button1->setAutoRaise(true);
    Button1->setToolTip(QStringLiteral("Close"));
    Button1->setAccessibleName(QStringLiteral("Close"));
    side->addWidget(Button1);
    side->addStretch(1);
    row->addWidget(Panel3);

    // Dragging works on these; the link, its panel and the button keep their presses.
    for (QWidget* w : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label1),
                       Panel3, Panel2, static_cast<QWidget*>(Label2)})
        w->installEventFilter(this);
}

void TNewVer::FormCreate()
{
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/icons/dorvantis.svg"));
    Image1->setPixmap(icon.pixmap(QSize(48, 48), devicePixelRatioF()));

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + s.width() - width() - 5, s.y() + 5);
    }

    Label1->setText(QStringLiteral("UPDATE AVAILABLE"));
    Label2->setText(QStringLiteral("Click to download ") + AppProduct + QLatin1Char(' ') + NewVersion);
    Label2->setAccessibleName(Label2->text());
    TimerLinkTimer();
}

void TNewVer::animate(bool grow)
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

void TNewVer::TimerStartTimer()
{
    TimerStart->stop();
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

void TNewVer::TimerCloseTimer()
{
    --NewVerCloseCountdown;
    if (NewVerCloseCountdown == 0) {
        TimerClose->stop();
        animate(false);
    }
}

void TNewVer::TimerLinkTimer()
{
    const QPoint local = Label2->mapFromGlobal(QCursor::pos());
    const bool over = Label2->rect().contains(local);
    QPalette pal = Label2->palette();
    const QColor colour = palette().color(over ? QPalette::Highlight : QPalette::WindowText);
    if (pal.color(QPalette::WindowText) != colour) {
        pal.setColor(QPalette::WindowText, colour);
        Label2->setPalette(pal);
    }
}

void TNewVer::Label2Click()
{
    try {
        shell_.openUrl(dv::DownloadAddressToOpen(DownloadURL));
    } catch (...) {
        // The window closes whether or not the browser opened.
    }
    close();
}

void TNewVer::Button1Click()
{
    close();
}

bool TNewVer::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseMove
        || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick;
    if (watched == Label2) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                Label2Click();
                return true;
            }
        }
        if (type == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() == Qt::LeftButton && Label2->rect().contains(e->position().toPoint()))
                Label2Click();
        }
        // Pressing the link never starts a drag.
        return mouse;
    }
    if (watched == Panel2)
        return mouse;
    if (mouse) {
        auto* e = static_cast<QMouseEvent*>(event);
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            FormMouseDown(e);
        else if (type == QEvent::MouseMove)
            FormMouseMove(e);
        else
            FormMouseUp(e);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TNewVer::mousePressEvent(QMouseEvent* event)
{
    FormMouseDown(event);
}

void TNewVer::mouseMoveEvent(QMouseEvent* event)
{
    FormMouseMove(event);
}

void TNewVer::mouseReleaseEvent(QMouseEvent* event)
{
    FormMouseUp(event);
}

void TNewVer::FormMouseDown(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton)
        return;
    const QPoint p = event->globalPosition().toPoint();
    dragging = true;
    dx = p.x();
    dy = p.y();
}

void TNewVer::FormMouseMove(QMouseEvent* event)
{
    if (!dragging)
        return;
    const QPoint p = event->globalPosition().toPoint();
    const int left = x() + p.x() - dx;
    const int top = y() + p.y() - dy;
    dx = p.x();
    dy = p.y();
    move(left, top);
}

void TNewVer::FormMouseUp(QMouseEvent*)
{
    dragging = false;
}

void TNewVer::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TNewVer::closeEvent(QCloseEvent* event)
{
    // Closed for good: nothing more to count down or light up.
    TimerStart->stop();
    TimerClose->stop();
    TimerLink->stop();
    if (animation_)
        animation_->stop();
    clearMask();
    event->accept();
}
