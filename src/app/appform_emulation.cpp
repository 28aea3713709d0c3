#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectEmulationHandlers() {}
void TAppForm::InternetExplorer71Click() {}
void TAppForm::InternetExplorer81Click() {}
void TAppForm::InternetExplorer91Click() {}
void TAppForm::InternetExplorer101Click() {}
void TAppForm::InternetExplorer111Click() {}
void TAppForm::Button5Click() {}
void TAppForm::TimerIETimer() {}
void TAppForm::TimerHintTimer() {}
void TAppForm::YenidenBaslat() {}
