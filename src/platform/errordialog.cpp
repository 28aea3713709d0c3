#include "errordialog.h"

#include "dialogs.h"
#include "errors.h"
#include "identity.h"

#include <QApplication>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcErrors, "dorvantis.errors")

namespace dv {

namespace {
Dialogs* errorDialogs = nullptr;
}

void installErrorDialogs(Dialogs* dialogs)
{
    errorDialogs = dialogs;
}

void showDefaultError(const QString& message)
{
    const QString text = defaultErrorText(message);
    qCWarning(lcErrors).noquote() << text;
    if (errorDialogs)
        errorDialogs->messageBox(QApplication::activeWindow(), text, QString::fromLatin1(ApplicationTitle), MB_ICONERROR);
}

void showDefaultError(std::exception_ptr ptr)
{
    try {
        std::rethrow_exception(ptr);
    } catch (const std::exception& e) {
        showDefaultError(errorMessage(e));
    } catch (...) {
        showDefaultError(QStringLiteral("Unknown error"));
    }
}

} // namespace dv
