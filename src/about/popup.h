#pragma once

#include <QtGlobal>

#include <functional>

class QMenu;
class QWidget;

namespace dv::about {

/// The system's millisecond tick count, cut to 32 bits (it wraps after 49 days).
quint32 SystemTickCount();

/// Opens menu with its top-left corner under button's bottom-left corner and waits
/// until it closes. A call for the same button and menu within 100 ms of that menu
/// closing opens nothing: it is the click that closed the menu, not a new request.
/// Returns true when the menu was opened. tickCount is the clock (tests fake it).
bool ShowPopupBelowButton(QWidget* button, QMenu* menu,
    const std::function<quint32()>& tickCount = SystemTickCount);

} // namespace dv::about
