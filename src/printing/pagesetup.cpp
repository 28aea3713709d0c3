#include "pagesetup.h"

#include "cupsjob.h"
#include "pdfstamp.h"
#include "registry.h"

#include <QPrinter>
#include <QPrinterInfo>

#include <optional>

namespace dv {

namespace {

// Value names under PageSetupKey. Margins are kept in hundredths of a millimetre.
const QString PaperValue = QStringLiteral("PaperSize");
const QString OrientationValue = QStringLiteral("Orientation");
const QString MarginValues[4] = {QStringLiteral("MarginLeft"), QStringLiteral("MarginTop"),
    QStringLiteral("MarginRight"), QStringLiteral("MarginBottom")};
const QString HeaderFooterValue = QStringLiteral("HeadersAndFooters");
const QString BackgroundsValue = QStringLiteral("Backgrounds");
const QString FixedBarsOnceValue = QStringLiteral("FixedBarsOnce");
const QString ScaleValue = QStringLiteral("Scale");

// No paper is this wide; a margin beyond it is a damaged value.
constexpr quint32 MaxMarginHundredthsMm = 100000;

QString key()
{
    return QString::fromLatin1(PageSetupKey);
}

std::optional<quint32> dwordValue(const RegistryStore& registry, const QString& name)
{
    const std::optional<RegValue> value = registry.queryValue(key(), name);
    if (!value || value->type != RegType::Dword || value->data.size() != 4)
        return std::nullopt;
    return value->toDword();
}

std::optional<bool> switchValue(const RegistryStore& registry, const QString& name)
{
    const std::optional<quint32> value = dwordValue(registry, name);
    if (!value || *value > 1)
        return std::nullopt;
    return *value == 1;
}

std::optional<QPageSize> paperForKey(const QString& text)
{
    for (int id = 0; id <= int(QPageSize::LastPageSize); ++id) {
        const auto size = QPageSize::PageSizeId(id);
        if (size != QPageSize::Custom && QPageSize::key(size).compare(text, Qt::CaseInsensitive) == 0)
            return QPageSize(size);
    }
    return std::nullopt;
}

qreal marginSide(const QMarginsF& m, int side)
{
    const qreal sides[4] = {m.left(), m.top(), m.right(), m.bottom()};
    return sides[side];
}

quint32 hundredths(qreal mm)
{
    return quint32(qRound(mm * 100));
}

// Writes the value when it differs from the default, removes it otherwise.
bool storeOrForget(RegistryStore& registry, const QString& name, bool differs, const RegValue& value)
{
    if (differs)
        return registry.setValue(key(), name, value);
    if (registry.queryValue(key(), name))
        return registry.deleteValue(key(), name);
    return true;
}

} // namespace

PageSetup pageSetupFromPrinter(const QPageLayout& printerLayout)
{
    PageSetup setup;
    setup.paper = printerLayout.pageSize();
    setup.orientation = printerLayout.orientation();
    setup.marginsMm = printerLayout.margins(QPageLayout::Millimeter);
    return setup;
}

PageSetup defaultPageSetup()
{
    // Qt's print support asks the scheduler with no bound of its own: when it does
    // not answer, plain A4 stands in, and handing the page over ends the run.
    if (schedulerKeepsSilent())
        return pageSetupFromPrinter(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    // The default printer as Qt's print support knows it (CUPS' default destination).
    QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
    return pageSetupFromPrinter(printer.pageLayout());
}

bool marginsFit(const QPageSize& paper, QPageLayout::Orientation orientation, const QMarginsF& marginsMm)
{
    QSizeF size = paper.size(QPageSize::Millimeter);
    if (orientation == QPageLayout::Landscape)
        size.transpose();
    return marginsMm.left() >= 0 && marginsMm.top() >= 0 && marginsMm.right() >= 0 && marginsMm.bottom() >= 0
        && size.width() - marginsMm.left() - marginsMm.right() >= MinContentMm
        && size.height() - marginsMm.top() - marginsMm.bottom() >= MinContentMm;
}

PageSetup loadPageSetup(const RegistryStore& registry, const PageSetup& defaults)
{
    PageSetup setup = defaults;
    if (const std::optional<RegValue> paper = registry.queryValue(key(), PaperValue);
        paper && paper->type == RegType::Sz) {
        if (const std::optional<QPageSize> size = paperForKey(paper->toText()))
            setup.paper = *size;
    }
    if (const std::optional<quint32> orientation = dwordValue(registry, OrientationValue);
        orientation && *orientation <= 1)
        setup.orientation = *orientation == 1 ? QPageLayout::Landscape : QPageLayout::Portrait;

    // The margins go together: one unusable value and all four stay at their default.
    qreal margins[4];
    bool stored = true;
    for (int side = 0; side < 4 && stored; ++side) {
        const std::optional<quint32> value = dwordValue(registry, MarginValues[side]);
        stored = value && *value <= MaxMarginHundredthsMm;
        margins[side] = stored ? *value / 100.0 : 0;
    }
    if (stored) {
        const QMarginsF mm(margins[0], margins[1], margins[2], margins[3]);
        if (marginsFit(setup.paper, setup.orientation, mm))
            setup.marginsMm = mm;
    }
    // Stored paper with default margins may still leave no room: the paper goes too.
    if (!marginsFit(setup.paper, setup.orientation, setup.marginsMm)) {
        setup.paper = defaults.paper;
        setup.orientation = defaults.orientation;
        setup.marginsMm = defaults.marginsMm;
    }

    if (const std::optional<bool> on = switchValue(registry, HeaderFooterValue))
        setup.headerFooter = *on;
    if (const std::optional<bool> on = switchValue(registry, BackgroundsValue))
        setup.backgrounds = *on;
    if (const std::optional<bool> on = switchValue(registry, FixedBarsOnceValue))
        setup.fixedBarsOnce = *on;
    if (const std::optional<quint32> scale = dwordValue(registry, ScaleValue);
        scale && (*scale == 0 || (*scale >= MinScalePercent && *scale <= MaxScalePercent)))
        setup.scalePercent = int(*scale);
    return setup;
}

bool savePageSetup(RegistryStore& registry, const PageSetup& setup, const PageSetup& defaults)
{
    bool ok = storeOrForget(registry, PaperValue, !(setup.paper == defaults.paper), RegValue::text(setup.paper.key()));
    ok = storeOrForget(registry, OrientationValue, setup.orientation != defaults.orientation,
             RegValue::dword(setup.orientation == QPageLayout::Landscape ? 1 : 0))
        && ok;
    // Compared as stored, so a difference too small to keep does not count.
    bool marginsDiffer = false;
    for (int side = 0; side < 4; ++side)
        marginsDiffer = marginsDiffer
            || hundredths(marginSide(setup.marginsMm, side)) != hundredths(marginSide(defaults.marginsMm, side));
    for (int side = 0; side < 4; ++side)
        ok = storeOrForget(registry, MarginValues[side], marginsDiffer,
                 RegValue::dword(hundredths(marginSide(setup.marginsMm, side))))
            && ok;
    ok = storeOrForget(registry, HeaderFooterValue, setup.headerFooter != defaults.headerFooter,
             RegValue::dword(setup.headerFooter ? 1 : 0))
        && ok;
    ok = storeOrForget(registry, BackgroundsValue, setup.backgrounds != defaults.backgrounds,
             RegValue::dword(setup.backgrounds ? 1 : 0))
        && ok;
    ok = storeOrForget(registry, FixedBarsOnceValue, setup.fixedBarsOnce != defaults.fixedBarsOnce,
             RegValue::dword(setup.fixedBarsOnce ? 1 : 0))
        && ok;
    ok = storeOrForget(registry, ScaleValue, setup.scalePercent != defaults.scalePercent,
             RegValue::dword(quint32(setup.scalePercent)))
        && ok;
    return ok;
}

QPageLayout sheetLayout(const PageSetup& setup)
{
    QMarginsF points = setup.marginsMm * (72.0 / 25.4);
    if (setup.headerFooter) {
        // The header and footer live in the margins, never over the content.
        points.setTop(std::max(points.top(), HeaderFooterBandPt));
        points.setBottom(std::max(points.bottom(), HeaderFooterBandPt));
    }
    return QPageLayout(setup.paper, setup.orientation, points, QPageLayout::Point);
}

QList<QPageSize> offeredPaperSizes(const QPageSize& current)
{
    QList<QPageSize> sizes;
    auto add = [&sizes](const QPageSize& size) {
        if (size.isValid() && !sizes.contains(size))
            sizes << size;
    };
    for (QPageSize::PageSizeId id : {QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5, QPageSize::Letter,
             QPageSize::Legal, QPageSize::Executive, QPageSize::Tabloid})
        add(QPageSize(id));
    if (!schedulerKeepsSilent())
        for (const QPageSize& size : QPrinterInfo::defaultPrinter().supportedPageSizes())
            if (size.id() != QPageSize::Custom)
                add(size);
    add(current);
    return sizes;
}

} // namespace dv
