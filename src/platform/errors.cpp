#include "errors.h"

#include <cstring>

namespace dv {

AppError::AppError(QString message)
    : message_(std::move(message)), utf8_(message_.toStdString())
{
}

SystemError::SystemError(int code)
    : AppError(messageFor(code)), code_(code)
{
}

QString SystemError::messageFor(int code)
{
    if (code == 0)
        return QStringLiteral("A call to an OS function failed");
    return QStringLiteral("System Error.  Code: %1.\n%2").arg(code).arg(QString::fromLocal8Bit(std::strerror(code)));
}

QString errorMessage(const std::exception& e)
{
    if (auto* app = dynamic_cast<const AppError*>(&e))
        return app->message();
    return QString::fromUtf8(e.what());
}

QString defaultErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() <= 46)
        return message;
    return message + QLatin1Char('.');
}

QString errorMessage(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return errorMessage(e);
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

} // namespace dv
