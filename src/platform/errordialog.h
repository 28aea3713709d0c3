#pragma once

#include <exception>
#include <utility>

#include <QString>

namespace dv {

class Dialogs;

/// The application's default error dialog: the error's message (a full stop
/// added when needed), caption "Dorvantis", error icon, one OK button. The program
/// goes on afterwards. Installed once by the composition root.
void installErrorDialogs(Dialogs* dialogs);
void showDefaultError(const QString& message);
/// Shows the error held by ptr, whatever its kind.
void showDefaultError(std::exception_ptr ptr);

/// Wraps a handler so that no exception leaves it into Qt: the error goes to the
/// default error dialog instead. Connect every handler through it; the handler
/// takes no arguments (Qt drops the signal's).
template <typename F>
auto guarded(F&& f)
{
    return [f = std::forward<F>(f)]() mutable {
        try {
            f();
        } catch (...) {
            showDefaultError(std::current_exception());
        }
    };
}

} // namespace dv
