#pragma once

#include <QSizeF>

#include <algorithm>
#include <cmath>

namespace dv {

/// What each sheet adds to the time a page's print may take, and the most it may
/// take at all: a 2.5 MB manual index of some 260 sheets renders in about a minute
/// on a busy machine.
inline constexpr int RenderMsPerSheet = 500;
inline constexpr int MaxRenderMs = 5 * 60 * 1000;

/// About how many sheets a page prints on: its height in CSS pixels as shown
/// width CSS pixels wide, laid out again on sheets of sheetPx (the sheet in CSS
/// pixels). A page shown wider than the sheet grows taller as it is narrowed; one
/// shown narrower is taken as it stands, which errs on the long side.
inline int estimatedSheets(double heightPx, double widthPx, const QSizeF& sheetPx)
{
    if (!(heightPx > 0) || sheetPx.width() <= 0 || sheetPx.height() <= 0)
        return 1;
    const double narrowing = widthPx > sheetPx.width() ? widthPx / sheetPx.width() : 1.0;
    const double sheets = std::ceil(heightPx * narrowing / sheetPx.height());
    return int(std::clamp(sheets, 1.0, 100000.0));
}

/// How long the engine may take to print a page of about `sheets` sheets whose
/// renderer answered: baseMs plus a share per sheet, up to MaxRenderMs (never less
/// than baseMs).
inline int renderBoundMs(int baseMs, int sheets)
{
    const long long bound = baseMs + (long long)RenderMsPerSheet * std::max(sheets, 0);
    return int(std::clamp<long long>(bound, baseMs, std::max(baseMs, MaxRenderMs)));
}

} // namespace dv
