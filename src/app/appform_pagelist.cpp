#include "appform.h"

#include "browsercontrol.h"
#include "dialogs.h"
#include "errordialog.h"
#include "listbox.h"
#include "listfile.h"
#include "services.h"

#include <QAction>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

void TAppForm::connectPageListHandlers()
{
    using dv::guarded;
    ListBox1->setDialogs(&services_.dialogs);
    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(AddLocalHTMLFiles1, &QAction::triggered, this, guarded([this] { AddLocalHTMLFiles1Click(); }));
    connect(ButtonLoad, &QToolButton::clicked, this, guarded([this] { ButtonLoadClick(); }));
    connect(ButtonSave, &QToolButton::clicked, this, guarded([this] { ButtonSaveClick(); }));
    connect(DeleteSelected1, &QAction::triggered, this, guarded([this] { DeleteSelected1Click(); }));
    connect(DeleteAll1, &QAction::triggered, this, guarded([this] { DeleteAll1Click(); }));
    connect(ListBox1, &TListBox::dblClick, this, guarded([this] { ListBox1DblClick(); }));
    // The key handler needs the event itself, so the guard wraps each call.
    connect(ListBox1, &TListBox::keyDown, this,
            [this](QKeyEvent* event) { guarded([this, event] { ListBox1KeyDown(event); })(); });
}

void TAppForm::Button1Click()
{
    const QStringList files = services_.dialogs.getOpenFileNames(this, QStringLiteral("HTML Files|*.htm*"));
    if (!files.isEmpty())
        ListBox1->appendMany(files);
}

void TAppForm::AddLocalHTMLFiles1Click()
{
    Button1->click();
}

void TAppForm::ButtonLoadClick()
{
    const QString path = services_.dialogs.getOpenFileName(
        this, QStringLiteral("Text Files (*.txt)|*.txt|Any Files (*.*)|*.*"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    // Read completely before anything is appended: a failed read leaves the list alone.
    const QStringList lines = dv::loadListFile(path);
    ListBox1->appendMany(lines);
}

void TAppForm::ButtonSaveClick()
{
    const QString path
        = services_.dialogs.getSaveFileName(this, QStringLiteral("Text File (*.txt)|*.txt"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    dv::saveListFile(path, ListBox1->entries());
}

void TAppForm::DeleteSelected1Click()
{
    ListBox1->deleteSelected();
}

void TAppForm::DeleteAll1Click()
{
    ListBox1->clear();
}

void TAppForm::ListBox1KeyDown(QKeyEvent* event)
{
    // Delete removes the selection whatever modifiers are held; other keys keep
    // their usual effect in the list.
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        ListBox1->deleteSelected();
    }
}

void TAppForm::ListBox1DblClick()
{
    const int caret = ListBox1->caretIndex();
    if (caret < 0 || !MyWebBrowser)
        return;
    if (isCommandRunning()) {
        // The run prints whatever the browser shows; loading another page now would
        // print the wrong one.
        services_.dialogs.beep();
        return;
    }
    MyWebBrowser->navigate(ListBox1->entryAt(caret));
}
