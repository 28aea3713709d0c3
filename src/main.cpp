// Dorvantis: prints many web pages in one run.
#include "mainwindow.h"
#include "application.h"
#include "commandline.h"
#include "commandlinerun.h"
#include "dialogs.h"
#include "displaycheck.h"
#include "enginesandbox.h"
#include "errordialog.h"
#include "errors.h"
#include "identity.h"
#include "namedmutex.h"
#include "registry.h"
#include "services.h"
#include "shell.h"

#include <QCoreApplication>
#include <QIcon>
#include <QProcessEnvironment>
#include <QStringList>

#include <cstdio>

#include <optional>

#include <unistd.h>

int main(int argc, char* argv[])
{
    // --help and --version need no display and start nothing.
    if (const std::optional<int> status = dv::answerWithoutWindow(argc, argv))
        return *status;
    // A run from a script or a scheduled job needs no display.
    const bool printAll = dv::asksForPrintAll(argc, argv);
    if (printAll && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a display the application object would abort the program, core dump
    // and all: say so in a line instead (a cron job that forgot --print-all).
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<QString> missing
        = dv::missingDisplay(arguments, QProcessEnvironment::systemEnvironment(), printAll)) {
        std::fprintf(stderr, "dorvantis: %s\n", qPrintable(*missing));
        return 2;
    }

    // Other programs can see that an instance runs; a second instance still starts.
    dv::NamedMutex mutex(QStringLiteral("KELMARO_Dorvantis"));

    // The browser engine shares its GL contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    DorvantisApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(dv::ApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("dorvantis"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/dorvantis.svg")));

    // The application object has taken its own options (such as -platform) off.
    QString usageError;
    const std::optional<dv::CommandLineRequest> request
        = dv::parseCommandLine(QCoreApplication::arguments(), &usageError);
    if (!request) {
        std::fprintf(stderr, "dorvantis: %s\n%s", qPrintable(usageError), qPrintable(dv::usageHint()));
        return 2;
    }
    // Asked before the engine starts: refused, it would end the program unseen.
    if (const std::optional<QString> refusal
        = dv::engineSandboxRefusal(::getuid(), QProcessEnvironment::systemEnvironment())) {
        if (request->printAll) {
            std::fprintf(stderr, "dorvantis: %s\n", qPrintable(dv::defaultErrorText(*refusal)));
            return 2;
        }
        dv::QtDialogs dialogs;
        dv::installErrorDialogs(&dialogs);
        dv::showDefaultError(*refusal);
        dv::installErrorDialogs(nullptr);
        return 1;
    }
    if (request->printAll)
        return dv::runPrintAll(*request);

    dv::QtDialogs dialogs;
    dv::DesktopShell shell;
    dv::RegistryStore registry(dv::RegistryStore::defaultPath());
    dv::Services services{dialogs, shell, registry};
    dv::installErrorDialogs(&dialogs);

    MainWindow form(services);
    dv::openInWindow(form, *request);
    form.show();
    return app.exec();
}
