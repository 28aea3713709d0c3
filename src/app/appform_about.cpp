#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectAboutHandlers() {}
void TAppForm::About1Click() {}
void TAppForm::SendFeedback1Click() {}
