#pragma once

class QWidget;

namespace dv {

/// Centres a top-level window on its screen (the primary screen before it has one),
/// as windows that open "centred on the screen" do.
void centreOnScreen(QWidget* window);

} // namespace dv
