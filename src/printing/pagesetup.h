#pragma once

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>

namespace dv {

class RegistryStore;

/// The per-user key that holds the page setup's values.
inline constexpr const char* PageSetupKey = "Software\\KELMARO\\Dorvantis\\PageSetup";

/// Scale of the printed content, besides 0 for "fit to page width".
inline constexpr int MinScalePercent = 10;
inline constexpr int MaxScalePercent = 400;

/// The smallest content box the margins may leave on a sheet, in millimetres.
inline constexpr double MinContentMm = 30;

/// How pages are laid out on paper, for Print All and Print Preview alike.
struct PageSetup {
    QPageSize paper = QPageSize(QPageSize::A4);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    /// Left, top, right and bottom, in millimetres.
    QMarginsF marginsMm;
    /// Title and "Page x of y" above the content, address and date below it.
    bool headerFooter = true;
    bool backgrounds = true;
    /// Bars the page keeps in view while scrolled (fixed or sticky) print once, where
    /// they stand in the page, instead of over the text of every sheet.
    bool fixedBarsOnce = true;
    /// 0: the engine fits the page to the paper's width; otherwise a percentage.
    int scalePercent = 0;

    friend bool operator==(const PageSetup&, const PageSetup&) = default;
};

/// The printer's paper, orientation and margins; everything else at its default.
PageSetup pageSetupFromPrinter(const QPageLayout& printerLayout);

/// The defaults: the default printer's own set-up as Qt's print support reports it
/// (Qt's own default paper when there is no printer).
PageSetup defaultPageSetup();

/// True when the margins leave at least MinContentMm both ways on the paper.
bool marginsFit(const QPageSize& paper, QPageLayout::Orientation orientation, const QMarginsF& marginsMm);

/// The stored choices, each falling back to defaults when missing or unusable
/// (wrong type, a number out of range, margins that leave no room). Never fails.
PageSetup loadPageSetup(const RegistryStore& registry, const PageSetup& defaults);

/// Stores the choices that differ from defaults and removes those that match, so
/// settings the user left alone keep following the printer. False when the store
/// cannot be written.
bool savePageSetup(RegistryStore& registry, const PageSetup& setup, const PageSetup& defaults);

/// The sheet as printed: paper, orientation and margins, with the top and bottom
/// margins widened to the header and footer band while those are printed.
QPageLayout sheetLayout(const PageSetup& setup);

/// The paper sizes to offer: the common ones, those the default printer lists, and
/// the current one.
QList<QPageSize> offeredPaperSizes(const QPageSize& current);

} // namespace dv
