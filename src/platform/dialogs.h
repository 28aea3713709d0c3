#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace dv {

/// Message-box flags as the program's messages name them: one OK button and an icon.
enum MessageFlags : int {
    MB_ICONERROR = 16,
    MB_ICONWARNING = 48,
    MB_ICONINFORMATION = 64,
};

/// The user-facing dialogs of the desktop: message boxes, the Yes/No question, the
/// beep and the file dialogs. The one seam through which tests watch and answer
/// them, so that no test waits for a person.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    /// A modal message box with one OK button; the text is always plain text and a
    /// carriage return in it is shown as a line break.
    virtual void messageBox(QWidget* parent, const QString& text, const QString& caption, int flags) = 0;
    /// The standard confirmation: question icon, Yes and No. True for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    /// The system's default sound.
    virtual void beep() = 0;

    /// Filters are given as pairs of description and pattern separated by "|",
    /// for example "HTML Files|*.htm*". Each returns nothing on Cancel.
    virtual QStringList getOpenFileNames(QWidget* parent, const QString& filter) = 0;
    virtual QString getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
    virtual QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
    /// A folder to put files in, starting at startFolder; nothing on Cancel, which is
    /// all a stand-in that never shows a dialog needs to say.
    virtual QString getExistingDirectory(QWidget* parent, const QString& startFolder)
    {
        (void)parent;
        (void)startFolder;
        return {};
    }
};

/// The real dialogs: QMessageBox, QApplication::beep and QFileDialog.
class QtDialogs : public Dialogs {
public:
    void messageBox(QWidget* parent, const QString& text, const QString& caption, int flags) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    void beep() override;
    QStringList getOpenFileNames(QWidget* parent, const QString& filter) override;
    QString getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
    QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
    QString getExistingDirectory(QWidget* parent, const QString& startFolder) override;
};

/// "Text Files (*.txt)|*.txt|Any Files (*.*)|*.*" in the form QFileDialog takes.
QString toQtFileFilter(const QString& pipeFilter);

/// Carriage returns not followed by a line feed become line feeds, for display.
QString withLineBreaks(const QString& text);

} // namespace dv
