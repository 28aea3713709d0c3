#pragma once

#include <QString>
#include <exception>
#include <string>

namespace dv {

/// An error of the program's own code; its message is what the default error
/// dialog shows.
class AppError : public std::exception {
public:
    explicit AppError(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

/// A failed call to the operating system: "System Error.  Code: N." and the
/// system's text, or "A call to an OS function failed" when there is no code.
class SystemError : public AppError {
public:
    explicit SystemError(int code);
    int code() const noexcept { return code_; }
    static QString messageFor(int code);

private:
    int code_;
};

/// The message of any exception, as the default error dialog shows it.
QString errorMessage(const std::exception& e);
/// The message of a caught exception of any kind.
QString errorMessage(std::exception_ptr failure);

/// The default error dialog's text: a full stop is added unless the message
/// already ends in a character whose code is 46 or less (".", "!", a space...).
QString defaultErrorText(const QString& message);

} // namespace dv
