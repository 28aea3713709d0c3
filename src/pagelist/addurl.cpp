#include "addurl.h"

#include "dialogs.h"
#include "errordialog.h"
#include "identity.h"
#include "listbox.h"
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

TForm2::TForm2(dv::Dialogs& dialogs, TListBox* pageList, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), pageList_(pageList)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Add URL List"));
    setFont(QFont(QStringLiteral("Tahoma"), 8));
    setSizeGripEnabled(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setAccessibleName(QStringLiteral("Text with URL addresses"));
    // Tab moves on to the check box instead of typing a tab, so the keyboard
    // can leave the text box.
    Memo1->setTabChangesFocus(true);
    Memo1->setPlainText(exampleLines().join(QLatin1Char('\n')));
    column->addWidget(Memo1, 1);

    Panel2 = new QWidget(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(30);
    auto* checkRow = new QHBoxLayout(Panel2);
    checkRow->setContentsMargins(6, 2, 6, 2);
    CheckBox1 = new QCheckBox(QStringLiteral("Auto-detect URLs in text"), Panel2);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    checkRow->addWidget(CheckBox1);
    column->addWidget(Panel2);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    auto* buttonRow = new QHBoxLayout(Panel1);
    buttonRow->setContentsMargins(8, 8, 8, 8);
    buttonRow->setSpacing(8);
    BitBtn1 = new QPushButton(QStringLiteral("Add"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setFixedSize(113, 25);
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Cancel"), Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setFixedSize(113, 25);
    buttonRow->addStretch();
    buttonRow->addWidget(BitBtn1);
    buttonRow->addWidget(BitBtn2);
    buttonRow->addStretch();
    column->addWidget(Panel1);

    // "Add" closes with OK whatever its handler did, the message included.
    connect(BitBtn1, &QPushButton::clicked, this, dv::guarded([this] { BitBtn1Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    resize(318, 369);
    if (QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());
    FormCreate();
}

QStringList TForm2::exampleLines()
{
    return {
        QStringLiteral("http://www.") + dv::MakerHost(),
        QStringLiteral("http://www.duckduckgo.com"),
        QStringLiteral("http://www.wikipedia.org"),
    };
}

void TForm2::FormCreate()
{
    FoundURLs.clear();
}

void TForm2::URLfromString(const QString& satir)
{
    dv::URLfromString(satir, FoundURLs);
}

void TForm2::BitBtn1Click()
{
    BusyCursor busy;
    const QStringList lines = dv::textLines(Memo1->toPlainText());
    if (CheckBox1->isChecked()) {
        FoundURLs.clear();
        for (const QString& line : lines)
            URLfromString(line);
        if (!FoundURLs.isEmpty()) {
            pageList_->appendMany(FoundURLs);
            FoundURLs.clear();
        } else {
            busy.restore();
            dialogs_.messageBox(this, QStringLiteral("No URL found!"), QStringLiteral("Auto-detect URLs"),
                                dv::MB_ICONWARNING);
        }
    } else {
        pageList_->appendMany(lines);
    }
}
