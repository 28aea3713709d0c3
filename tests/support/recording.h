#pragma once

#include "dialogs.h"
#include "shell.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace dv::test {

/// A message box that would have been shown.
struct ShownMessage {
    QString text;
    QString caption;
    int flags = 0;
};

/// Dialogs that record what would have been shown and answer from scripts, so no
/// test waits for a person. File dialogs answer with the next queued reply (an
/// empty reply stands for Cancel).
class RecordingDialogs : public Dialogs {
public:
    void messageBox(QWidget* parent, const QString& text, const QString& caption, int flags) override;
    bool askYesNo(QWidget* parent, const QString& text) override;
    void beep() override;
    QStringList getOpenFileNames(QWidget* parent, const QString& filter) override;
    QString getOpenFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
    QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
    QString getExistingDirectory(QWidget* parent, const QString& startFolder) override;

    QList<ShownMessage> messages;
    QStringList questions;
    bool answerYes = false;
    int beeps = 0;
    QStringList filtersAsked;
    QList<QStringList> fileReplies;
    /// The start folder of each folder dialog; they too answer from fileReplies.
    QStringList foldersAsked;
    /// Runs inside messageBox, while the box would be open (for tests that act then).
    std::function<void(const ShownMessage&)> onMessage;
};

/// A shell that records what would have been opened or started.
class RecordingShell : public Shell {
public:
    bool openUrl(const QString& address) override;
    bool openTextFile(const QString& path) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;

    QStringList openedUrls;
    QStringList openedTextFiles;
    QStringList startedPrograms;
    bool succeed = true;
};

} // namespace dv::test
