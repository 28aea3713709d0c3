#include "feedbackwindow.h"

#include "dialogs.h"
#include "errordialog.h"
#include "placement.h"
#include "fonts.h"
#include "httpform.h"
#include "identity.h"
#include "resources.h"
#include "services.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QVBoxLayout>

using dv::about::Opinion;
using dv::about::pixelFont;

namespace {

QLabel* plainLabel(const QString& text, const char* name, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

// A bare strip that only arranges its children.
QWidget* strip(const char* name, int height, QWidget* parent)
{
    auto* panel = new QWidget(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFixedHeight(height);
    return panel;
}

} // namespace

ChoicePanel::ChoicePanel(const QString& caption, const QString& picture, QWidget* parent) : QFrame(parent)
{
    setText(caption);
    setFont(pixelFont(16));
    setCursor(Qt::PointingHandCursor);
    setAutoFillBackground(true);
    setLineWidth(1);
    // Not in the designed tab order, but reachable after it so the choice can be
    // made without a mouse.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(caption);

    picture_ = new QLabel(this);
    picture_->setAccessibleName(caption);
    picture_->setAttribute(Qt::WA_TransparentForMouseEvents);
    picture_->setScaledContents(true);
    picture_->setPixmap(QIcon(picture).pixmap(QSize(32, 32), devicePixelRatioF()));
    // 3 px margins inside the 1 px bevel.
    picture_->setGeometry(4, 4, 32, 32);
    applyLook();
}

void ChoicePanel::setText(const QString& caption)
{
    caption_ = caption;
    update();
}

void ChoicePanel::setChosen(bool chosen)
{
    if (chosen_ == chosen)
        return;
    chosen_ = chosen;
    applyLook();
}

void ChoicePanel::applyLook()
{
    const QPalette system = QApplication::palette(this);
    QPalette look = palette();
    look.setColor(QPalette::Window, chosen_ ? system.color(QPalette::Highlight) : system.color(QPalette::Button));
    look.setColor(QPalette::WindowText,
        chosen_ ? system.color(QPalette::HighlightedText) : system.color(QPalette::WindowText));
    setPalette(look);
    setFrameStyle(QFrame::Panel | (chosen_ ? QFrame::Sunken : QFrame::Raised));
    update();
}

void ChoicePanel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(contentsRect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
    if (hasFocus()) {
        QRect focus = contentsRect().adjusted(2, 2, -2, -2);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}

void ChoicePanel::mousePressEvent(QMouseEvent* event)
{
    // Taken here so the release comes back to this panel.
    event->accept();
}

void ChoicePanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

void ChoicePanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

void ChoicePanel::changeEvent(QEvent* event)
{
    // Follow a changed system palette.
    if (event->type() == QEvent::ApplicationPaletteChange)
        applyLook();
    QFrame::changeEvent(event);
}

FeedbackWindow::FeedbackWindow(dv::Services& services, QWidget* parent, dv::about::FormPoster poster)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
              | Qt::CustomizeWindowHint),
      services_(services), post_(std::move(poster))
{
    if (!post_)
        post_ = &dv::PostForm;
    setObjectName(QStringLiteral("feedbackWindow"));
    dv::initResources();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Feedback"));
    setFont(pixelFont(11));
    setFixedSize(525, 326);
    buildLayout();
    startUp();
}

void FeedbackWindow::buildLayout()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    QWidget* panel3 = strip("choiceStrip", 46, this);
    auto* choices = new QHBoxLayout(panel3);
    choices->setContentsMargins(3, 3, 3, 3);
    choices->setSpacing(6);
    likePanel_ = new ChoicePanel(QStringLiteral("I like it!"), QStringLiteral(":/about/grinning.svg"), panel3);
    likePanel_->setObjectName(QStringLiteral("likePanel"));
    likePicture_ = likePanel_->picture();
    likePicture_->setObjectName(QStringLiteral("likePicture"));
    dislikePanel_ = new ChoicePanel(QStringLiteral("I dislike it!"), QStringLiteral(":/about/frowning.svg"), panel3);
    dislikePanel_->setObjectName(QStringLiteral("dislikePanel"));
    dislikePanel_->setFixedWidth(256);
    dislikePicture_ = dislikePanel_->picture();
    dislikePicture_->setObjectName(QStringLiteral("dislikePicture"));
    choices->addWidget(likePanel_, 1);
    choices->addWidget(dislikePanel_);
    column->addWidget(panel3);

    appreciationLabel_ = plainLabel(QStringLiteral("We would really appreciate your feedback."), "appreciationLabel", pixelFont(16), this);
    appreciationLabel_->setContentsMargins(3, 3, 3, 3);
    column->addWidget(appreciationLabel_);
    questionLabel_ = plainLabel(QStringLiteral("What did you like or dislike?"), "questionLabel", pixelFont(13, true), this);
    questionLabel_->setContentsMargins(3, 0, 3, 3);
    column->addWidget(questionLabel_);

    feedbackText_ = new QPlainTextEdit(this);
    feedbackText_->setObjectName(QStringLiteral("feedbackText"));
    feedbackText_->setFont(pixelFont(13));
    feedbackText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    feedbackText_->setTabChangesFocus(true);
    feedbackText_->setAccessibleName(questionLabel_->text());
    questionLabel_->setBuddy(feedbackText_);
    column->addWidget(feedbackText_, 1);

    QWidget* panel1 = strip("emailStrip", 30, this);
    auto* emailRow = new QHBoxLayout(panel1);
    emailRow->setContentsMargins(3, 3, 3, 3);
    emailRow->setSpacing(4);
    emailLabel_ = plainLabel(QStringLiteral("Include my e-mail:"), "emailLabel", pixelFont(13), panel1);
    emailLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    emailEdit_ = new QLineEdit(panel1);
    emailEdit_->setObjectName(QStringLiteral("emailEdit"));
    emailEdit_->setFont(pixelFont(13));
    emailEdit_->setMaxLength(EmailMaxLength);
    emailEdit_->setAccessibleName(emailLabel_->text());
    emailLabel_->setBuddy(emailEdit_);
    emailRow->addWidget(emailLabel_);
    emailRow->addWidget(emailEdit_, 1);
    column->addWidget(panel1);

    QWidget* panel2 = strip("buttonStrip", 40, this);
    auto* buttonRow = new QHBoxLayout(panel2);
    buttonRow->setContentsMargins(3, 3, 3, 3);
    buttonRow->addStretch(1);
    sendButton_ = new QPushButton(QIcon(QStringLiteral(":/about/envelope.svg")), QStringLiteral("Send"), panel2);
    sendButton_->setObjectName(QStringLiteral("sendButton"));
    sendButton_->setFont(pixelFont(13, true));
    sendButton_->setIconSize(QSize(16, 16));
    sendButton_->setFixedSize(180, 34);
    sendButton_->setDefault(true);
    buttonRow->addWidget(sendButton_);
    column->addWidget(panel2);

    setTabOrder(feedbackText_, emailEdit_);
    setTabOrder(emailEdit_, sendButton_);
    setTabOrder(sendButton_, likePanel_);
    setTabOrder(likePanel_, dislikePanel_);
    feedbackText_->setFocus();

    for (QWidget* w : {static_cast<QWidget*>(feedbackText_), static_cast<QWidget*>(emailEdit_), static_cast<QWidget*>(sendButton_)})
        w->installEventFilter(this);

    connect(likePanel_, &ChoicePanel::clicked, this, dv::guarded([this] { chooseLike(); }));
    connect(dislikePanel_, &ChoicePanel::clicked, this, dv::guarded([this] { chooseDislike(); }));
    connect(sendButton_, &QPushButton::clicked, this, dv::guarded([this] { send(); }));
    connect(feedbackText_, &QPlainTextEdit::textChanged, this, dv::guarded([this] { limitFeedbackLength(); }));
}

void FeedbackWindow::startUp()
{
    setWindowTitle(AppProduct + QStringLiteral(" feedback"));
}

void FeedbackWindow::limitFeedbackLength()
{
    const int length = feedbackText_->document()->characterCount() - 1;
    if (length <= FeedbackMaxLength)
        return;
    // What was just typed or pasted ends at the cursor: cut its tail.
    QTextCursor cursor = feedbackText_->textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, length - FeedbackMaxLength);
    cursor.removeSelectedText();
    feedbackText_->setTextCursor(cursor);
}

Opinion FeedbackWindow::opinion() const
{
    if (likePanel_->isChosen())
        return Opinion::Like;
    if (dislikePanel_->isChosen())
        return Opinion::Dislike;
    return Opinion::None;
}

void FeedbackWindow::chooseLike()
{
    likePanel_->setChosen(true);
    dislikePanel_->setChosen(false);
}

void FeedbackWindow::chooseDislike()
{
    dislikePanel_->setChosen(true);
    likePanel_->setChosen(false);
}

void FeedbackWindow::send()
{
    using namespace dv::about;
    const QString feedback = FeedbackText(opinion(), feedbackText_->toPlainText());
    if (feedback.isEmpty()) {
        services_.dialogs.beep();
        return;
    }
    const QString email = TrimControl(emailEdit_->text());
    if (!email.isEmpty() && !IsValidEmail(email)) {
        services_.dialogs.messageBox(this, QStringLiteral("Invalid e-mail address!"), QStringLiteral("Failure"),
            dv::MB_ICONERROR);
        return;
    }
    const QStringList fields = FeedbackFields(AppTitle, AppVersion, feedback, email);
    if (DeliverFeedback(post_, fields)) {
        services_.dialogs.messageBox(this, QStringLiteral("Your feedback is received.\r\rThank you!"),
            QStringLiteral("Success"), dv::MB_ICONINFORMATION);
        close();
    } else {
        services_.dialogs.messageBox(this,
            QStringLiteral("Something went wrong. Your feedback could not be delivered.\r\rPlease try again later."),
            QStringLiteral("Failure"), dv::MB_ICONERROR);
    }
}

bool FeedbackWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Esc in any of the form's input controls closes it.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && (watched == feedbackText_ || watched == emailEdit_ || watched == sendButton_)) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FeedbackWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    dv::centreOnScreen(this);
}
