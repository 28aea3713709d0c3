#include "mainwindow.h"

#include "dialogs.h"
#include "emulation.h"
#include "errordialog.h"
#include "services.h"
#include "shell.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QPushButton>
#include <QTimer>

#include <utility>

void MainWindow::connectEmulationHandlers()
{
    using dv::guarded;
    const std::pair<QAction*, int> levels[] = {{ie7Action_, 7}, {ie8Action_, 8}, {ie9Action_, 9}, {ie10Action_, 10},
                                               {ie11Action_, 11}};
    for (const auto& [item, level] : levels)
        connect(item, &QAction::triggered, this, guarded([this, level = level] { chooseEmulationLevel(level); }));
    // The start-up mark shows the level in force in this process; choosing an item
    // only takes effect after a restart, so a click must not move or clear it.
    for (QAction* item :
         {ie7Action_, ie8Action_, ie9Action_, ie10Action_, ie11Action_}) {
        connect(item, &QAction::toggled, this, guarded([item] {
                    if (item->isCheckable() && !item->isChecked())
                        item->setChecked(true);
                }));
    }
    connect(applyHintButton_, &QPushButton::clicked, this, guarded([this] { applyRecommendedEmulation(); }));
    connect(emulationMarkTimer_, &QTimer::timeout, this, guarded([this] { markEmulationLevel(); }));
    connect(hintTimer_, &QTimer::timeout, this, guarded([this] { showHintIfNeeded(); }));
}

void MainWindow::chooseEmulationLevel(int level)
{
    dv::writeEmulationLevel(services_.registry, dv::emulationValueName(executablePath_), level);
    restartProgram();
}

void MainWindow::applyRecommendedEmulation()
{
    ie11Action_->trigger();
}

void MainWindow::markEmulationLevel()
{
    emulationMarkTimer_->stop();
    const std::optional<quint32> value
        = dv::readEmulationValue(services_.registry, dv::emulationValueName(executablePath_));
    const std::optional<int> level = dv::emulationLevelForValue(value);
    if (!level)
        return;
    QAction* const items[] = {ie7Action_, ie8Action_, ie9Action_, ie10Action_,
                              ie11Action_};
    QAction* item = items[*level - 7];
    item->setCheckable(true);
    item->setChecked(true);
}

void MainWindow::showHintIfNeeded()
{
    hintTimer_->stop();
    if (!ie11Action_->isChecked())
        hintPanel_->show();
}

void MainWindow::restartProgram()
{
    if (!services_.dialogs.askYesNo(this, QStringLiteral("Restart Application?")))
        return;
    QCoreApplication::processEvents();
    // The new instance starts while this one still runs; a second instance is
    // allowed. Its start-up is not checked: this one ends all the same.
    services_.shell.startDetached(QCoreApplication::applicationFilePath(), {});
    // Closing the window rather than quitting outright lets a running print run
    // finish before the program ends.
    close();
}
