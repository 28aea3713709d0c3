#include "appform.h"

#include "addurl.h"
#include "errordialog.h"
#include "listbox.h"
#include "services.h"

#include <QAction>
#include <QPushButton>

void TAppForm::connectAddUrlHandlers()
{
    using dv::guarded;
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(AddURLAddresses1, &QAction::triggered, this, guarded([this] { AddURLAddresses1Click(); }));
}

void TAppForm::Button2Click()
{
    // A fresh dialog each time, so it always opens with the example lines; it
    // appends to the page list by itself.
    TForm2 form(services().dialogs, ListBox1, this);
    form.exec();
}

void TAppForm::AddURLAddresses1Click()
{
    Button2->click();
}
