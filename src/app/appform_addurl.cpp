#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectAddUrlHandlers() {}
void TAppForm::Button2Click() {}
void TAppForm::AddURLAddresses1Click() {}
