#include "urllistdialog.h"

#include "dialogs.h"
#include "errordialog.h"
#include "identity.h"
#include "pagelistbox.h"
#include "urlfinder.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

// The wait cursor for the whole program, taken back exactly once however the
// work ends, so a stray restore never pops somebody else's cursor.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { restore(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void restore()
    {
        if (active_) {
            active_ = false;
            QApplication::restoreOverrideCursor();
        }
    }

private:
    bool active_ = true;
};

} // namespace

UrlListDialog::UrlListDialog(dv::Dialogs& dialogs, PageListBox* pageList, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), pageList_(pageList)
{
    setObjectName(QStringLiteral("urlListDialog"));
    setWindowTitle(QStringLiteral("Add URL List"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setSizeGripEnabled(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    urlText_ = new QPlainTextEdit(this);
    urlText_->setObjectName(QStringLiteral("urlText"));
    urlText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    urlText_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    urlText_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    urlText_->setAccessibleName(QStringLiteral("Text with URL addresses"));
    // Tab moves on to the check box instead of typing a tab, so the keyboard
    // can leave the text box.
    urlText_->setTabChangesFocus(true);
    urlText_->setPlainText(exampleLines().join(QLatin1Char('\n')));
    column->addWidget(urlText_, 1);

    optionsPanel_ = new QWidget(this);
    optionsPanel_->setObjectName(QStringLiteral("optionsPanel"));
    optionsPanel_->setFixedHeight(30);
    auto* checkRow = new QHBoxLayout(optionsPanel_);
    checkRow->setContentsMargins(6, 2, 6, 2);
    autoDetectCheck_ = new QCheckBox(QStringLiteral("Auto-detect URLs in text"), optionsPanel_);
    autoDetectCheck_->setObjectName(QStringLiteral("autoDetectCheck"));
    autoDetectCheck_->setChecked(true);
    checkRow->addWidget(autoDetectCheck_);
    column->addWidget(optionsPanel_);

    buttonPanel_ = new QWidget(this);
    buttonPanel_->setObjectName(QStringLiteral("buttonPanel"));
    buttonPanel_->setFixedHeight(41);
    auto* buttonRow = new QHBoxLayout(buttonPanel_);
    buttonRow->setContentsMargins(8, 8, 8, 8);
    buttonRow->setSpacing(8);
    addButton_ = new QPushButton(QStringLiteral("Add"), buttonPanel_);
    addButton_->setObjectName(QStringLiteral("addButton"));
    addButton_->setFixedSize(113, 25);
    addButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), buttonPanel_);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    cancelButton_->setFixedSize(113, 25);
    buttonRow->addStretch();
    buttonRow->addWidget(addButton_);
    buttonRow->addWidget(cancelButton_);
    buttonRow->addStretch();
    column->addWidget(buttonPanel_);

    // "Add" closes with OK whatever its handler did, the message included.
    connect(addButton_, &QPushButton::clicked, this, dv::guarded([this] { addEntries(); }));
    connect(addButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    resize(318, 369);
    if (QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
}

QStringList UrlListDialog::exampleLines()
{
    return {
        QStringLiteral("http://www.") + dv::MakerHost(),
        QStringLiteral("http://www.duckduckgo.com"),
        QStringLiteral("http://www.wikipedia.org"),
    };
}

void UrlListDialog::addEntries()
{
    BusyCursor busy;
    const QStringList lines = dv::textLines(urlText_->toPlainText());
    if (autoDetectCheck_->isChecked()) {
        foundUrls_.clear();
        for (const QString& line : lines)
            dv::findUrlsInLine(line, foundUrls_);
        if (!foundUrls_.isEmpty()) {
            pageList_->appendMany(foundUrls_);
            foundUrls_.clear();
        } else {
            busy.restore();
            dialogs_.messageBox(this, QStringLiteral("No URL found!"), QStringLiteral("Auto-detect URLs"),
                                dv::MB_ICONWARNING);
        }
    } else {
        pageList_->appendMany(lines);
    }
}
