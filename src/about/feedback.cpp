#include "feedback.h"

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

TChoicePanel::TChoicePanel(const QString& caption, const QString& picture, QWidget* parent) : QFrame(parent)
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

void TChoicePanel::setText(const QString& caption)
{
    caption_ = caption;
    update();
}

void TChoicePanel::setChosen(bool chosen)
{
    if (chosen_ == chosen)
        return;
    chosen_ = chosen;
    applyLook();
}

void TChoicePanel::applyLook()
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

void TChoicePanel::paintEvent(QPaintEvent* event)
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

void TChoicePanel::mousePressEvent(QMouseEvent* event)
{
    // Taken here so the release comes back to this panel.
    event->accept();
}

void TChoicePanel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

void TChoicePanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QFrame::keyPressEvent(event);
}

void TChoicePanel::changeEvent(QEvent* event)
{
    // Follow a changed system palette.
    if (event->type() == QEvent::ApplicationPaletteChange)
        applyLook();
    QFrame::changeEvent(event);
}

TFeedbackForm::TFeedbackForm(dv::Services& services, QWidget* parent, dv::about::FormPoster poster)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
              | Qt::CustomizeWindowHint),
      services_(services), post_(std::move(poster))
{
    if (!post_)
        post_ = &dv::PostForm;
    setObjectName(QStringLiteral("FeedbackForm"));
    dv::initResources();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Feedback"));
    setFont(pixelFont(11));
    setFixedSize(525, 326);
    buildLayout();
    FormCreate();
}

void TFeedbackForm::buildLayout()
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    QWidget* panel3 = strip("Panel3", 46, this);
    auto* choices = new QHBoxLayout(panel3);
    choices->setContentsMargins(3, 3, 3, 3);
    choices->setSpacing(6);
    Panel4 = new TChoicePanel(QStringLiteral("I like it!"), QStringLiteral(":/about/grinning.svg"), panel3);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Image1 = Panel4->picture();
    Image1->setObjectName(QStringLiteral("Image1"));
    Panel5 = new TChoicePanel(QStringLiteral("I dislike it!"), QStringLiteral(":/about/frowning.svg"), panel3);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedWidth(256);
    Image2 = Panel5->picture();
    Image2->setObjectName(QStringLiteral("Image2"));
    choices->addWidget(Panel4, 1);
    choices->addWidget(Panel5);
    column->addWidget(panel3);

    Label1 = plainLabel(QStringLiteral("We would really appreciate your feedback."), "Label1", pixelFont(16), this);
    Label1->setContentsMargins(3, 3, 3, 3);
    column->addWidget(Label1);
    Label2 = plainLabel(QStringLiteral("What did you like or dislike?"), "Label2", pixelFont(13, true), this);
    Label2->setContentsMargins(3, 0, 3, 3);
    column->addWidget(Label2);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFont(pixelFont(13));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Memo1->setAccessibleName(Label2->text());
    Label2->setBuddy(Memo1);
    column->addWidget(Memo1, 1);

    QWidget* panel1 = strip("Panel1", 30, this);
    auto* emailRow = new QHBoxLayout(panel1);
    emailRow->setContentsMargins(3, 3, 3, 3);
    emailRow->setSpacing(4);
    Label3 = plainLabel(QStringLiteral("Include my e-mail:"), "Label3", pixelFont(13), panel1);
    Label3->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Edit1 = new QLineEdit(panel1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setFont(pixelFont(13));
    Edit1->setMaxLength(EmailMaxLength);
    Edit1->setAccessibleName(Label3->text());
    Label3->setBuddy(Edit1);
    emailRow->addWidget(Label3);
    emailRow->addWidget(Edit1, 1);
    column->addWidget(panel1);

    QWidget* panel2 = strip("Panel2", 40, this);
    auto* buttonRow = new QHBoxLayout(panel2);
    buttonRow->setContentsMargins(3, 3, 3, 3);
    buttonRow->addStretch(1);
    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/about/envelope.svg")), QStringLiteral("Send"), panel2);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFont(pixelFont(13, true));
    BitBtn1->setIconSize(QSize(16, 16));
    BitBtn1->setFixedSize(180, 34);
    BitBtn1->setDefault(true);
    buttonRow->addWidget(BitBtn1);
    column->addWidget(panel2);

    setTabOrder(Memo1, Edit1);
    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, Panel4);
    setTabOrder(Panel4, Panel5);
    Memo1->setFocus();

    for (QWidget* w : {static_cast<QWidget*>(Memo1), static_cast<QWidget*>(Edit1), static_cast<QWidget*>(BitBtn1)})
        w->installEventFilter(this);

    connect(Panel4, &TChoicePanel::clicked, this, dv::guarded([this] { Image1Click(); }));
    connect(Panel5, &TChoicePanel::clicked, this, dv::guarded([this] { Image2Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, dv::guarded([this] { BitBtn1Click(); }));
    connect(Memo1, &QPlainTextEdit::textChanged, this, dv::guarded([this] { limitMemoLength(); }));
}

void TFeedbackForm::FormCreate()
{
    setWindowTitle(AppProduct + QStringLiteral(" feedback"));
}

void TFeedbackForm::limitMemoLength()
{
    const int length = Memo1->document()->characterCount() - 1;
    if (length <= MemoMaxLength)
        return;
    // What was just typed or pasted ends at the cursor: cut its tail.
    QTextCursor cursor = Memo1->textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, length - MemoMaxLength);
    cursor.removeSelectedText();
    Memo1->setTextCursor(cursor);
}

Opinion TFeedbackForm::opinion() const
{
    if (Panel4->isChosen())
        return Opinion::Like;
    if (Panel5->isChosen())
        return Opinion::Dislike;
    return Opinion::None;
}

void TFeedbackForm::Image1Click()
{
    Panel4->setChosen(true);
    Panel5->setChosen(false);
}

void TFeedbackForm::Image2Click()
{
    Panel5->setChosen(true);
    Panel4->setChosen(false);
}

void TFeedbackForm::BitBtn1Click()
{
    using namespace dv::about;
    const QString feedback = FeedbackText(opinion(), Memo1->toPlainText());
    if (feedback.isEmpty()) {
        services_.dialogs.beep();
        return;
    }
    const QString email = TrimControl(Edit1->text());
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

bool TFeedbackForm::eventFilter(QObject* watched, QEvent* event)
{
    // Esc in any of the form's input controls closes it.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape
        && (watched == Memo1 || watched == Edit1 || watched == BitBtn1)) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFeedbackForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    dv::centreOnScreen(this);
}
