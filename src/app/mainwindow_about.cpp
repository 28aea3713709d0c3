#include "mainwindow.h"

#include "aboutbox.h"
#include "errordialog.h"
#include "feedbackwindow.h"

#include <QAction>
#include <QFileInfo>

void MainWindow::connectAboutHandlers()
{
    connect(aboutAction_, &QAction::triggered, this, dv::guarded([this] { showAboutBox(); }));
    connect(sendFeedbackAction_, &QAction::triggered, this, dv::guarded([this] { showFeedbackWindow(); }));
}

void MainWindow::showAboutBox()
{
    // A new box each time; it deletes itself when it closes.
    auto* box = new AboutBox(services_, QFileInfo(executablePath_).absolutePath(), this);
    box->exec();
}

void MainWindow::showFeedbackWindow()
{
    auto* form = new FeedbackWindow(services_, this);
    form->exec();
}
