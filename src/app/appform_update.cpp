#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectUpdateHandlers() {}
void TAppForm::TimerCheckerTimer() {}
void TAppForm::UpdateNotifications1Click() {}
