// Dorvantis: prints many web pages in one run.
#include "mainwindow.h"
#include "application.h"
#include "dialogs.h"
#include "errordialog.h"
#include "identity.h"
#include "namedmutex.h"
#include "registry.h"
#include "services.h"
#include "shell.h"

#include <QCoreApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    // Other programs can see that an instance runs; a second instance still starts.
    dv::NamedMutex mutex(QStringLiteral("KELMARO_Dorvantis"));

    // The browser engine shares its GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    DorvantisApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(dv::ApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("dorvantis"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/dorvantis.svg")));

    dv::QtDialogs dialogs;
    dv::DesktopShell shell;
    dv::RegistryStore registry(dv::RegistryStore::defaultPath());
    dv::Services services{dialogs, shell, registry};
    dv::installErrorDialogs(&dialogs);

    MainWindow form(services);
    form.show();
    return app.exec();
}
