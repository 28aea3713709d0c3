#include "appform.h"

#include "about.h"
#include "errordialog.h"
#include "feedback.h"

#include <QAction>
#include <QFileInfo>

void TAppForm::connectAboutHandlers()
{
    connect(About1, &QAction::triggered, this, dv::guarded([this] { About1Click(); }));
    connect(SendFeedback1, &QAction::triggered, this, dv::guarded([this] { SendFeedback1Click(); }));
}

void TAppForm::About1Click()
{
    // A new box each time; it deletes itself when it closes.
    auto* box = new TAboutBox(services(), QFileInfo(executablePath()).absolutePath(), this);
    box->exec();
}

void TAppForm::SendFeedback1Click()
{
    auto* form = new TFeedbackForm(services(), this);
    form->exec();
}
