#include "displaycheck.h"

#include <dlfcn.h>

namespace dv {

namespace {

// Loads a library for one question and lets it go again.
class Library {
public:
    explicit Library(const char* name)
        : handle_(::dlopen(name, RTLD_NOW | RTLD_LOCAL))
    {
    }
    ~Library()
    {
        if (handle_)
            ::dlclose(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    template <typename Function> Function symbol(const char* name) const
    {
        return handle_ ? reinterpret_cast<Function>(::dlsym(handle_, name)) : nullptr;
    }

private:
    void* handle_;
};

bool xcbAnswers(const QByteArray& display)
{
    const Library xcb("libxcb.so.1");
    const auto connect = xcb.symbol<void* (*)(const char*, int*)>("xcb_connect");
    const auto hasError = xcb.symbol<int (*)(void*)>("xcb_connection_has_error");
    const auto disconnect = xcb.symbol<void (*)(void*)>("xcb_disconnect");
    if (!connect || !hasError || !disconnect)
        return false;
    // A failed connection is still an object to hand back.
    void* connection = connect(display.isEmpty() ? nullptr : display.constData(), nullptr);
    const bool answered = connection && hasError(connection) == 0;
    if (connection)
        disconnect(connection);
    return answered;
}

bool waylandAnswers()
{
    const Library wayland("libwayland-client.so.0");
    const auto connect = wayland.symbol<void* (*)(const char*)>("wl_display_connect");
    const auto disconnect = wayland.symbol<void (*)(void*)>("wl_display_disconnect");
    if (!connect || !disconnect)
        return false;
    void* connection = connect(nullptr);
    if (!connection)
        return false;
    disconnect(connection);
    return true;
}

// What follows option (-name or --name, as Qt reads its own options), or nothing.
std::optional<QString> optionValue(const QStringList& arguments, const QString& option)
{
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1Char('-') + option || argument == QStringLiteral("--") + option)
            return arguments[i + 1];
    }
    return std::nullopt;
}

} // namespace

bool displayAnswers(const QByteArray& platform, const QByteArray& display)
{
    if (platform == "xcb")
        return xcbAnswers(display);
    if (platform.startsWith("wayland"))
        return waylandAnswers();
    return true;
}

std::optional<QString> missingDisplay(
    const QStringList& arguments, const QProcessEnvironment& environment, bool printAll, const DisplayProbe& probe)
{
    // Qt's order: its -platform option, then QT_QPA_PLATFORM (a list Qt tries in
    // turn), else its default: X11, or Wayland in a Wayland session.
    const std::optional<QString> platformOption = optionValue(arguments, QStringLiteral("platform"));
    const QString variable = environment.value(QStringLiteral("QT_QPA_PLATFORM"));
    const QString named = platformOption.value_or(variable);
    QStringList candidates = named.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (named.isEmpty()) {
        candidates = {QStringLiteral("xcb")};
        if (environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland"))
            candidates.prepend(QStringLiteral("wayland"));
    }
    const QByteArray display = optionValue(arguments, QStringLiteral("display")).value_or(QString()).toLocal8Bit();
    for (const QString& candidate : candidates) {
        // "xcb:option=value": the plugin's name comes before the colon.
        const QByteArray platform = candidate.section(QLatin1Char(':'), 0, 0).trimmed().toLatin1();
        if (probe(platform, display))
            return std::nullopt;
    }

    if (printAll) {
        const QString source = platformOption ? QStringLiteral("-platform") : QStringLiteral("QT_QPA_PLATFORM");
        return QStringLiteral("There is no display for the platform \"%1\" that %2 names; --print-all prints "
                              "without one when no platform is named.")
            .arg(named, source);
    }
    // "dorvantis -- --print-all page.html" asks for a window with two entries.
    const qsizetype end = arguments.indexOf(QStringLiteral("--"));
    const bool printAllAsEntry = end > 0 && arguments.indexOf(QStringLiteral("--print-all"), end) > end;
    return QStringLiteral("There is no display to show the window on%1; --print-all prints without one.")
        .arg(printAllAsEntry ? QStringLiteral(" (after \"--\", \"--print-all\" is a page to add, not an option)")
                             : QString());
}

} // namespace dv
