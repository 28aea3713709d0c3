#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <optional>

namespace dv {

/// Why the browser engine would refuse to start for this user, or nothing. Its
/// sandbox will not run as root, and the engine then ends the whole program with a
/// line on standard error that a user who started it from a menu never sees; unless
/// the environment switches the sandbox off, the program says so itself and ends.
std::optional<QString> engineSandboxRefusal(uint userId, const QProcessEnvironment& environment);

} // namespace dv
