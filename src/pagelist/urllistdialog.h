#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class PageListBox;

namespace dv {
class Dialogs;
}

/// The "Add URL List" dialog: the user pastes free text, and either the web
/// addresses found in it or its lines as they are go to the end of the page list.
/// Made anew for each opening, so it always starts with the example lines.
class UrlListDialog : public QDialog {
    Q_OBJECT

public:
    UrlListDialog(dv::Dialogs& dialogs, PageListBox* pageList, QWidget* parent = nullptr);

    /// The three example lines the text box opens with.
    static QStringList exampleLines();

    /// For tests: the addresses found during one "Add"; emptied once handed to
    /// the page list.
    const QStringList& foundUrls() const { return foundUrls_; }

public slots:
    /// "Add": appends the addresses found in the text, or its lines as they are.
    void addEntries();

private:
    dv::Dialogs& dialogs_;
    PageListBox* pageList_;

    QPlainTextEdit* urlText_ = nullptr;
    QWidget* optionsPanel_ = nullptr;
    QCheckBox* autoDetectCheck_ = nullptr;
    QWidget* buttonPanel_ = nullptr;
    QPushButton* addButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QStringList foundUrls_;
};
