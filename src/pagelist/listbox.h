#pragma once

#include <QListWidget>
#include <QStringList>

/// The page list box: the ordered list of pages to print. Entries are kept exactly
/// as added; duplicates and empty lines are allowed.
class TListBox : public QListWidget {
    Q_OBJECT

public:
    explicit TListBox(QWidget* parent = nullptr);

    void appendOne(const QString& entry);
    /// Appends the lines in order, updating the display once at the end.
    void appendMany(const QStringList& entries);
    QStringList entries() const;
    QString entryAt(int index) const;
};
