#include "mainwindow.h"

#include "pagesource.h"
#include "dialogs.h"
#include "errordialog.h"
#include "pagelistbox.h"
#include "listfile.h"
#include "services.h"

#include <QAction>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

void MainWindow::connectPageListHandlers()
{
    using dv::guarded;
    pageList_->setDialogs(&services_.dialogs);
    connect(addFilesButton_, &QPushButton::clicked, this, guarded([this] { addHtmlFiles(); }));
    connect(addFilesAction_, &QAction::triggered, this, guarded([this] { addHtmlFiles(); }));
    connect(loadListButton_, &QToolButton::clicked, this, guarded([this] { loadList(); }));
    connect(saveListButton_, &QToolButton::clicked, this, guarded([this] { saveList(); }));
    connect(deleteSelectedAction_, &QAction::triggered, this, guarded([this] { deleteSelectedEntries(); }));
    connect(deleteAllAction_, &QAction::triggered, this, guarded([this] { deleteAllEntries(); }));
    connect(pageList_, &PageListBox::dblClick, this, guarded([this] { showCaretEntry(); }));
    // The key handler needs the event itself, so the guard wraps each call.
    connect(pageList_, &PageListBox::keyDown, this,
            [this](QKeyEvent* event) { guarded([this, event] { handlePageListKey(event); })(); });
}

void MainWindow::addHtmlFiles()
{
    const QStringList files = services_.dialogs.getOpenFileNames(this, QStringLiteral("HTML Files|*.htm*"));
    if (!files.isEmpty())
        pageList_->appendMany(files);
}

void MainWindow::loadList()
{
    const QString path = services_.dialogs.getOpenFileName(
        this, QStringLiteral("Text Files (*.txt)|*.txt|Any Files (*.*)|*.*"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    // Read completely before anything is appended: a failed read leaves the list alone.
    const QStringList lines = dv::loadListFile(path);
    pageList_->appendMany(lines);
}

void MainWindow::saveList()
{
    const QString path
        = services_.dialogs.getSaveFileName(this, QStringLiteral("Text File (*.txt)|*.txt"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    dv::saveListFile(path, pageList_->entries());
}

void MainWindow::deleteSelectedEntries()
{
    pageList_->deleteSelected();
}

void MainWindow::deleteAllEntries()
{
    pageList_->clear();
}

void MainWindow::handlePageListKey(QKeyEvent* event)
{
    // Delete removes the selection whatever modifiers are held; other keys keep
    // their usual effect in the list.
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        pageList_->deleteSelected();
    }
}

void MainWindow::showCaretEntry()
{
    const int caret = pageList_->caretIndex();
    if (caret < 0 || !pageSource_)
        return;
    if (isCommandRunning()) {
        // The run prints whatever the browser shows; loading another page now would
        // print the wrong one.
        services_.dialogs.beep();
        return;
    }
    pageSource_->load(0, pageList_->entryAt(caret));
    pageSource_->show(0);
}
