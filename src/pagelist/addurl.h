#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class TListBox;

namespace dv {
class Dialogs;
}

/// The "Add URL List" dialog: the user pastes free text, and either the web
/// addresses found in it or its lines as they are go to the end of the page list.
/// Made anew for each opening, so it always starts with the example lines.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    TForm2(dv::Dialogs& dialogs, TListBox* pageList, QWidget* parent = nullptr);

    QPlainTextEdit* Memo1 = nullptr;
    QWidget* Panel2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QWidget* Panel1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    /// The addresses found during one "Add"; emptied once handed to the page list.
    QStringList FoundURLs;

    /// The three example lines the text box opens with.
    static QStringList exampleLines();

    void URLfromString(const QString& satir);

public slots:
    void FormCreate();
    void BitBtn1Click();

private:
    dv::Dialogs& dialogs_;
    TListBox* pageList_;
};
