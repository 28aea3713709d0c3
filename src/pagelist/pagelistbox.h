#pragma once

#include <QListWidget>
#include <QStringList>

class QKeyEvent;

namespace dv {
class Dialogs;
}

/// The page list box: the ordered list of pages to print. Entries are kept exactly
/// as added; duplicates and empty lines are allowed. Files dropped on it from a file
/// manager are appended in drop order.
class PageListBox : public QListWidget {
    Q_OBJECT

public:
    explicit PageListBox(QWidget* parent = nullptr);

    /// Where the "Not valid file: " messages of a drop go. Without it a drop is
    /// refused.
    void setDialogs(dv::Dialogs* dialogs) { dialogs_ = dialogs; }

    void appendOne(const QString& entry);
    /// Appends the lines in order, updating the display once at the end.
    void appendMany(const QStringList& entries);
    QStringList entries() const;
    QString entryAt(int index) const;
    /// Removes every selected entry; without a selection nothing changes.
    void deleteSelected();
    /// The entry with the focus rectangle: the current row, or the first entry when
    /// none was made current yet; -1 for an empty list.
    int caretIndex() const;

    /// Appends each name that is an existing file (a link to one counts) and shows
    /// "Not valid file: " + name for every other, one message each, in order.
    void dropFiles(const QStringList& names);

signals:
    /// A key went down in the list. A handler that takes the key accepts the event;
    /// otherwise the list gives the key its usual effect.
    void keyDown(QKeyEvent* event);
    /// A double-click with the left button anywhere in the list.
    void dblClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    dv::Dialogs* dialogs_ = nullptr;
};
