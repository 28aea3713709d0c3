#include "mainwindow.h"

#include "urllistdialog.h"
#include "errordialog.h"
#include "pagelistbox.h"
#include "services.h"

#include <QAction>
#include <QPushButton>

void MainWindow::connectAddUrlHandlers()
{
    using dv::guarded;
    connect(addUrlListButton_, &QPushButton::clicked, this, guarded([this] { addUrlList(); }));
    connect(addUrlListAction_, &QAction::triggered, this, guarded([this] { addUrlList(); }));
}

void MainWindow::addUrlList()
{
    // A fresh dialog each time, so it always opens with the example lines; it
    // appends to the page list by itself.
    UrlListDialog form(services_.dialogs, pageList_, this);
    form.exec();
}
