#include "appform.h"

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

namespace {

// Stores the chosen level for this executable, then offers the restart that puts
// it in force.
void chooseEmulationLevel(TAppForm& form, int level)
{
    dv::writeEmulationLevel(form.services().registry, dv::emulationValueName(form.executablePath()), level);
    form.YenidenBaslat();
}

} // namespace

void TAppForm::connectEmulationHandlers()
{
    using dv::guarded;
    connect(InternetExplorer71, &QAction::triggered, this, guarded([this] { InternetExplorer71Click(); }));
    connect(InternetExplorer81, &QAction::triggered, this, guarded([this] { InternetExplorer81Click(); }));
    connect(InternetExplorer91, &QAction::triggered, this, guarded([this] { InternetExplorer91Click(); }));
    connect(InternetExplorer101, &QAction::triggered, this, guarded([this] { InternetExplorer101Click(); }));
    connect(InternetExplorer111, &QAction::triggered, this, guarded([this] { InternetExplorer111Click(); }));
    // The start-up mark shows the level in force in this process; choosing an item
    // only takes effect after a restart, so a click must not move or clear it.
    for (QAction* item :
         {InternetExplorer71, InternetExplorer81, InternetExplorer91, InternetExplorer101, InternetExplorer111}) {
        connect(item, &QAction::toggled, this, guarded([item] {
                    if (item->isCheckable() && !item->isChecked())
                        item->setChecked(true);
                }));
    }
    connect(Button5, &QPushButton::clicked, this, guarded([this] { Button5Click(); }));
    connect(TimerIE, &QTimer::timeout, this, guarded([this] { TimerIETimer(); }));
    connect(TimerHint, &QTimer::timeout, this, guarded([this] { TimerHintTimer(); }));
}

void TAppForm::InternetExplorer71Click()
{
    chooseEmulationLevel(*this, 7);
}

void TAppForm::InternetExplorer81Click()
{
    chooseEmulationLevel(*this, 8);
}

void TAppForm::InternetExplorer91Click()
{
    chooseEmulationLevel(*this, 9);
}

void TAppForm::InternetExplorer101Click()
{
    chooseEmulationLevel(*this, 10);
}

void TAppForm::InternetExplorer111Click()
{
    chooseEmulationLevel(*this, 11);
}

void TAppForm::Button5Click()
{
    InternetExplorer111->trigger();
}

void TAppForm::TimerIETimer()
{
    TimerIE->stop();
    const std::optional<quint32> value
        = dv::readEmulationValue(services().registry, dv::emulationValueName(executablePath()));
    const std::optional<int> level = dv::emulationLevelForValue(value);
    if (!level)
        return;
    QAction* const items[] = {InternetExplorer71, InternetExplorer81, InternetExplorer91, InternetExplorer101,
                              InternetExplorer111};
    QAction* item = items[*level - 7];
    item->setCheckable(true);
    item->setChecked(true);
}

void TAppForm::TimerHintTimer()
{
    TimerHint->stop();
    if (!InternetExplorer111->isChecked())
        PanelHint->show();
}

void TAppForm::YenidenBaslat()
{
    if (!services().dialogs.askYesNo(this, QStringLiteral("Restart Application?")))
        return;
    QCoreApplication::processEvents();
    // The new instance starts while this one still runs; a second instance is
    // allowed. Its start-up is not checked: this one ends all the same.
    services().shell.startDetached(QCoreApplication::applicationFilePath(), {});
    // Closing the window rather than quitting outright lets a running print run
    // finish before the program ends.
    close();
}
