#include "popup.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QWidget>

namespace dv::about {

namespace {

// The last drop-down's button, menu and closing time. Only ever compared with
// the arguments of the next call, never used to reach the widgets, so a button
// or menu destroyed meanwhile does no harm.
const QWidget* LastPopupButton = nullptr;
const QMenu* LastPopupMenu = nullptr;
quint32 LastPopupTick = 0;

} // namespace

quint32 SystemTickCount()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return static_cast<quint32>(clock.elapsed());
}

bool ShowPopupBelowButton(QWidget* button, QMenu* menu, const std::function<quint32()>& tickCount)
{
    if (button == LastPopupButton && menu == LastPopupMenu && quint32(tickCount() - LastPopupTick) < 100u) {
        LastPopupButton = nullptr;
        LastPopupMenu = nullptr;
        return false;
    }
    menu->exec(button->mapToGlobal(QPoint(0, button->height())));
    LastPopupTick = tickCount();
    LastPopupButton = button;
    LastPopupMenu = menu;
    return true;
}

} // namespace dv::about
