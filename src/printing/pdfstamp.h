#pragma once

#include "pagesetup.h"

#include <QByteArray>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dv {

/// The height of the band above and below the content that the header and the
/// footer need: the top and bottom margins are never narrower while they print.
inline constexpr double HeaderFooterBandPt = 24;
/// The size of the header's and footer's text.
inline constexpr double HeaderFooterFontPt = 8;

/// What a printout's header and footer say besides "Page x of y".
struct HeaderFooterTexts {
    QString title; ///< top left
    QString address; ///< bottom left
    QString date; ///< bottom right
};

/// The layout the engine renders a page with so that placeOnSheets() can put it
/// onto sheet at scale: paper the size of the sheet's content box divided by the
/// scale, without margins.
QPageLayout engineLayout(const QPageLayout& sheet, double scale);

/// The header and footer alone, laid out as sheet with nothing else on them: the
/// title top left and "Page x of y" top right in the top margin, the address bottom
/// left and the date bottom right in the bottom margin, each inside the content's
/// width, long texts shortened in the middle.
struct HeaderFooterOverlay {
    /// Three pages per sheet: the title, the address, and the rest.
    QByteArray pdf;
    /// Per sheet, the title and the address as drawn where no font on the system
    /// has a glyph for some of their characters (empty otherwise): their text would
    /// read back wrong, and placeOnSheets() gives these as the text they stand for.
    QStringList titles;
    QStringList addresses;
};
HeaderFooterOverlay headerFooterPdf(const QPageLayout& sheet, int pages, const HeaderFooterTexts& texts);

/// Puts each page of enginePdf (rendered with engineLayout(sheet, scale)) onto a
/// sheet laid out as sheet: its content at the top left of the content box at
/// scale, its links moved along, and with texts given, the header and footer over
/// it. The content is not redrawn: it stays vector, its text stays text. Raises
/// dv::PagePrintError when enginePdf cannot be read.
QByteArray placeOnSheets(
    const QByteArray& enginePdf, const QPageLayout& sheet, double scale, const std::optional<HeaderFooterTexts>& texts);

/// A page's printout, as Print All sends it and Print Preview shows it: render is
/// asked for the engine's PDF laid out for setup's sheet and scale, and its pages
/// are put on sheets, with the header and footer when setup asks for them.
QByteArray makePrintout(const PageSetup& setup, const HeaderFooterTexts& texts,
    const std::function<QByteArray(const QPageLayout&)>& render);

/// The number of pages of a PDF; 0 when it cannot be read.
int pdfPageCount(const QByteArray& pdf);

} // namespace dv
