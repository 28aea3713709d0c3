#include "listbox.h"

TListBox::TListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void TListBox::appendOne(const QString& entry)
{
    addItem(entry);
}

void TListBox::appendMany(const QStringList& entries)
{
    setUpdatesEnabled(false);
    addItems(entries);
    setUpdatesEnabled(true);
}

QStringList TListBox::entries() const
{
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out << item(i)->text();
    return out;
}

QString TListBox::entryAt(int index) const
{
    return item(index)->text();
}
