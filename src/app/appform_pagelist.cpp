#include "appform.h"

// Stub: filled in with its subsystem.
void TAppForm::connectPageListHandlers() {}
void TAppForm::Button1Click() {}
void TAppForm::AddLocalHTMLFiles1Click() {}
void TAppForm::ButtonLoadClick() {}
void TAppForm::ButtonSaveClick() {}
void TAppForm::DeleteSelected1Click() {}
void TAppForm::DeleteAll1Click() {}
void TAppForm::ListBox1DblClick() {}
void TAppForm::ListBox1KeyDown(QKeyEvent*) {}
