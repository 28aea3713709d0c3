#pragma once

#include <QString>

namespace dv {

/// The script run in the page just before it is rendered for print. With
/// fixedBarsOnce, elements the page holds in place while it scrolls (position
/// fixed or sticky, by its style sheets or their own style attribute) are laid
/// out where they stand in the page for print only, so they print once instead of
/// over the text of every sheet; without it, whatever an earlier run set is taken
/// back. Either way, tall flex and grid containers print as blocks, since the
/// engine would cut their lines through at sheet breaks, unless the page's own
/// print rules set their display. The screen is untouched. The script's value is
/// the page's size as shown, [scroll height, client width] in CSS pixels.
QString printPreparationScript(bool fixedBarsOnce);

} // namespace dv
