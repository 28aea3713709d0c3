#include "appform.h"

#include "check.h"
#include "errordialog.h"
#include "newversion.h"
#include "services.h"
#include "settings.h"

#include <QAction>
#include <QPointer>
#include <QTimer>

void TAppForm::connectUpdateHandlers()
{
    connect(TimerChecker, &QTimer::timeout, this, dv::guarded([this] { TimerCheckerTimer(); }));
    connect(UpdateNotifications1, &QAction::triggered, this, dv::guarded([this] {
                // Qt has already flipped the checkable item; the handler decides
                // from the mark the user clicked on.
                UpdateNotifications1->setChecked(!UpdateNotifications1->isChecked());
                UpdateNotifications1Click();
            }));
}

void TAppForm::TimerCheckerTimer()
{
    if (!CheckStarted) {
        CheckStarted = true;
        dv::CheckConfig config = dv::DefaultCheckConfig(services().registry, services().dialogs, this);
        if (parts_.updateCheckToday)
            config.today = parts_.updateCheckToday;
        dv::TChecker::Launch(std::move(config));
        return;
    }
    if (!CheckDone.load(std::memory_order_acquire))
        return;

    TimerChecker->stop();
    UpdateNotifications1->setEnabled(true);
    if (ShowUpdate == 0)
        UpdateNotifications1->setChecked(false);
    if (UpdateAvailable && !NewVer) {
        NewVer = new TNewVer(services().shell, this);
        // Not a child (it stands alone on the screen), but it goes with the window.
        connect(this, &QObject::destroyed, [notice = QPointer<TNewVer>(NewVer)] { delete notice.data(); });
    }
}

void TAppForm::UpdateNotifications1Click()
{
    const bool wanted = !UpdateNotifications1->isChecked();
    UpdateNotifications1->setChecked(wanted);
    if (UpdateSettings)
        UpdateSettings->WriteInteger(QLatin1String(dv::SettingsSection), QStringLiteral("ShowUpdate"), wanted ? 1 : 0);
}
