#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dv {

/// Answers whether a display of the given platform ("xcb", "wayland") can be
/// reached; display is the name given with -display, or empty for the default.
using DisplayProbe = std::function<bool(const QByteArray& platform, const QByteArray& display)>;

/// Connects to the display as Qt's own platform plugin would: libxcb for "xcb",
/// libwayland-client for "wayland..." (each loaded only for this question).
bool displayAnswers(const QByteArray& platform, const QByteArray& display);

/// Why the program cannot start with the platform Qt would pick (from -platform,
/// QT_QPA_PLATFORM or Qt's default): every candidate needs a display and none
/// answers. Asked before the application object exists, which would abort the
/// program without one. The answer is one line that says so and that --print-all
/// prints without a display; nothing when a display answers or the platform
/// needs none (offscreen, say).
std::optional<QString> missingDisplay(const QStringList& arguments, const QProcessEnvironment& environment,
    bool printAll, const DisplayProbe& probe = displayAnswers);

} // namespace dv
