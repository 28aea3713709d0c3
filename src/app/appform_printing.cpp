#include "browsercontrol.h"
#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectPrintingHandlers() {}
void TAppForm::WebBrowserYukle() {}
void TAppForm::Button4Click() {}
void TAppForm::PrintAll1Click() {}
void TAppForm::Button3Click() {}
void TAppForm::PrintPreview1Click() {}
void TAppForm::TimerDelayTimer() {}
void TAppForm::MyWebBrowserNavigateError(const QString&) {}
bool TAppForm::deferCloseWhileBusy() { return false; }
