#include "pagelistbox.h"

#include "dialogs.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QUrl>

#include <algorithm>

namespace {

// A row shows at most this many characters of its entry. Laying out a line of
// millions of characters (a binary file loaded as a list) takes seconds at every
// repaint; the entry itself is kept whole.
constexpr qsizetype MaxShownChars = 2048;

class EntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (option->text.size() > MaxShownChars) {
            option->text.truncate(MaxShownChars);
            option->text += QChar(0x2026);
        }
    }
};

bool carriesFiles(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

} // namespace

PageListBox::PageListBox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every entry is one line of text; uniform rows keep long lists quick to show.
    setUniformItemSizes(true);
    setItemDelegate(new EntryDelegate(this));
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
}

void PageListBox::appendOne(const QString& entry)
{
    addItem(entry);
}

void PageListBox::appendMany(const QStringList& entries)
{
    setUpdatesEnabled(false);
    addItems(entries);
    setUpdatesEnabled(true);
}

QStringList PageListBox::entries() const
{
    QStringList out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out << item(i)->text();
    return out;
}

QString PageListBox::entryAt(int index) const
{
    return item(index)->text();
}

void PageListBox::deleteSelected()
{
    QList<int> rows;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        rows << index.row();
    if (rows.isEmpty())
        return;
    // From the last position to the first, a run of neighbours at a time, so that
    // positions still to be removed do not shift and a large selection stays quick.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    setUpdatesEnabled(false);
    qsizetype i = 0;
    while (i < rows.size()) {
        qsizetype j = i + 1;
        while (j < rows.size() && rows[j] == rows[j - 1] - 1)
            ++j;
        const int first = rows[j - 1];
        model()->removeRows(first, rows[i] - first + 1);
        i = j;
    }
    setUpdatesEnabled(true);
}

int PageListBox::caretIndex() const
{
    if (count() == 0)
        return -1;
    const int row = currentRow();
    return row >= 0 && row < count() ? row : 0;
}

void PageListBox::dropFiles(const QStringList& names)
{
    for (const QString& name : names) {
        try {
            // Only existence is tested: a file of any type is a page.
            if (QFileInfo(name).isFile())
                appendOne(name);
            else if (dialogs_)
                dialogs_->messageBox(window(), QStringLiteral("Not valid file: ") + name, QStringLiteral("Error"),
                                     dv::MB_ICONERROR);
        } catch (...) {
            // One name that cannot be handled does not stop the others.
        }
    }
}

void PageListBox::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
    emit keyDown(event);
    if (event->isAccepted())
        return;
    event->accept();
    QListWidget::keyPressEvent(event);
}

void PageListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit dblClick();
}

void PageListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (dialogs_ && carriesFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PageListBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (dialogs_ && carriesFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void PageListBox::dropEvent(QDropEvent* event)
{
    if (!dialogs_ || !carriesFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList names;
    for (const QUrl& url : event->mimeData()->urls())
        names << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    // The names are handled once the drop is over, so that a message box does not
    // keep the file manager waiting for the end of the drag.
    QMetaObject::invokeMethod(
        this, [this, names] { dropFiles(names); }, Qt::QueuedConnection);
}
