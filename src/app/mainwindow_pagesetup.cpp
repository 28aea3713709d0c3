// "Page Setup...": the paper, margins, header and footer, backgrounds and scale
// that Print All and Print Preview follow.
#include "mainwindow.h"

#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "pagesetup.h"
#include "pagesetupdialog.h"
#include "services.h"

#include <QAction>

void MainWindow::connectPageSetupHandlers()
{
    connect(pageSetupAction_, &QAction::triggered, this, dv::guarded([this] { openPageSetup(); }));
}

void MainWindow::openPageSetup()
{
    // A run waits on a modal dialog; its pages would stop until the dialog closed.
    if (commandRunning_) {
        services_.dialogs.beep();
        return;
    }
    const dv::PageSetup defaults = dv::defaultPageSetup();
    dv::PageSetupDialog dialog(dv::loadPageSetup(services_.registry, defaults), defaults, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (!dv::savePageSetup(services_.registry, dialog.pageSetup(), defaults))
        throw dv::AppError(QStringLiteral("The page setup could not be saved."));
}
