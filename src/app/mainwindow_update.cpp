#include "mainwindow.h"

#include "check.h"
#include "errordialog.h"
#include "updatenotice.h"
#include "services.h"
#include "settings.h"

#include <QAction>
#include <QPointer>
#include <QTimer>

void MainWindow::connectUpdateHandlers()
{
    connect(updateCheckTimer_, &QTimer::timeout, this, dv::guarded([this] { followUpdateCheck(); }));
    connect(updateNotificationsAction_, &QAction::triggered, this, dv::guarded([this] {
                // Qt has already flipped the checkable item; the handler decides
                // from the mark the user clicked on.
                updateNotificationsAction_->setChecked(!updateNotificationsAction_->isChecked());
                toggleUpdateNotifications();
            }));
}

void MainWindow::followUpdateCheck()
{
    if (!CheckStarted) {
        CheckStarted = true;
        dv::CheckConfig config = dv::DefaultCheckConfig(services_.registry, services_.dialogs, this);
        if (parts_.updateCheckToday)
            config.today = parts_.updateCheckToday;
        dv::UpdateCheckWorker::launch(std::move(config));
        return;
    }
    if (!CheckDone.load(std::memory_order_acquire))
        return;

    updateCheckTimer_->stop();
    updateNotificationsAction_->setEnabled(true);
    if (ShowUpdate == 0)
        updateNotificationsAction_->setChecked(false);
    if (UpdateAvailable && !updateNotice_) {
        updateNotice_ = new UpdateNotice(services_.shell, this);
        // Not a child (it stands alone on the screen), but it goes with the window.
        connect(this, &QObject::destroyed, [notice = QPointer<UpdateNotice>(updateNotice_)] { delete notice.data(); });
    }
}

void MainWindow::toggleUpdateNotifications()
{
    const bool wanted = !updateNotificationsAction_->isChecked();
    updateNotificationsAction_->setChecked(wanted);
    if (UpdateSettings)
        UpdateSettings->WriteInteger(QLatin1String(dv::SettingsSection), QStringLiteral("ShowUpdate"), wanted ? 1 : 0);
}
