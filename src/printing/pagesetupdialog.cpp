#include "pagesetupdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace dv {

namespace {

QString paperText(const QPageSize& paper)
{
    const QSizeF mm = paper.size(QPageSize::Millimeter);
    return QStringLiteral("%1 (%2 x %3 mm)").arg(paper.name()).arg(qRound(mm.width())).arg(qRound(mm.height()));
}

template <class T> T* named(T* widget, const char* objectName, const QString& accessibleName)
{
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setAccessibleName(accessibleName);
    return widget;
}

} // namespace

PageSetupDialog::PageSetupDialog(const PageSetup& current, const PageSetup& defaults, QWidget* parent)
    : QDialog(parent)
    , defaults_(defaults)
{
    setObjectName(QStringLiteral("pageSetupDialog"));
    setWindowTitle(QStringLiteral("Page Setup"));
    papers_ = offeredPaperSizes(current.paper);
    if (!papers_.contains(defaults.paper))
        papers_ << defaults.paper;

    auto* paperBox = new QGroupBox(QStringLiteral("Paper"), this);
    auto* paperForm = new QFormLayout(paperBox);
    paperCombo_ = named(new QComboBox(paperBox), "paperCombo", QStringLiteral("Paper size"));
    for (const QPageSize& paper : std::as_const(papers_))
        paperCombo_->addItem(paperText(paper));
    auto* paperLabel = new QLabel(QStringLiteral("Paper si&ze:"), paperBox);
    paperLabel->setBuddy(paperCombo_);
    paperForm->addRow(paperLabel, paperCombo_);
    portraitButton_
        = named(new QRadioButton(QStringLiteral("&Portrait"), paperBox), "portraitButton", QStringLiteral("Portrait"));
    landscapeButton_ = named(
        new QRadioButton(QStringLiteral("&Landscape"), paperBox), "landscapeButton", QStringLiteral("Landscape"));
    auto* orientationRow = new QHBoxLayout();
    orientationRow->addWidget(portraitButton_);
    orientationRow->addWidget(landscapeButton_);
    orientationRow->addStretch();
    paperForm->addRow(QStringLiteral("Orientation:"), orientationRow);

    auto* marginBox = new QGroupBox(QStringLiteral("Margins (millimetres)"), this);
    auto* marginGrid = new QGridLayout(marginBox);
    auto marginSpin = [marginBox](const char* name, const QString& side) {
        auto* spin = named(new QDoubleSpinBox(marginBox), name, side + QStringLiteral(" margin in millimetres"));
        spin->setDecimals(2); // printers' own margins are often a quarter inch, 6.35 mm
        spin->setSingleStep(1);
        spin->setSuffix(QStringLiteral(" mm"));
        return spin;
    };
    leftMarginSpin_ = marginSpin("leftMarginSpin", QStringLiteral("Left"));
    topMarginSpin_ = marginSpin("topMarginSpin", QStringLiteral("Top"));
    rightMarginSpin_ = marginSpin("rightMarginSpin", QStringLiteral("Right"));
    bottomMarginSpin_ = marginSpin("bottomMarginSpin", QStringLiteral("Bottom"));
    const std::pair<QString, QDoubleSpinBox*> sides[]
        = {{QStringLiteral("L&eft:"), leftMarginSpin_}, {QStringLiteral("&Top:"), topMarginSpin_},
            {QStringLiteral("&Right:"), rightMarginSpin_}, {QStringLiteral("&Bottom:"), bottomMarginSpin_}};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(sides[i].first, marginBox);
        label->setBuddy(sides[i].second);
        marginGrid->addWidget(label, i / 2, (i % 2) * 2);
        marginGrid->addWidget(sides[i].second, i / 2, (i % 2) * 2 + 1);
    }

    auto* printBox = new QGroupBox(QStringLiteral("Printing"), this);
    auto* printColumn = new QVBoxLayout(printBox);
    headerFooterCheck_ = named(new QCheckBox(QStringLiteral("Print &headers and footers"), printBox),
        "headerFooterCheck", QStringLiteral("Print headers and footers"));
    headerFooterCheck_->setToolTip(
        QStringLiteral("The page's title and \"Page x of y\" above, its address and the date below"));
    backgroundsCheck_ = named(new QCheckBox(QStringLiteral("Print background &colours and images"), printBox),
        "backgroundsCheck", QStringLiteral("Print background colours and images"));
    fixedBarsOnceCheck_ = named(new QCheckBox(QStringLiteral("Print fi&xed page bars only once"), printBox),
        "fixedBarsOnceCheck", QStringLiteral("Print fixed page bars only once"));
    fixedBarsOnceCheck_->setToolTip(QStringLiteral(
        "Bars a page keeps on screen while it scrolls print once, where they stand, not over the text of every sheet"));
    printColumn->addWidget(headerFooterCheck_);
    printColumn->addWidget(backgroundsCheck_);
    printColumn->addWidget(fixedBarsOnceCheck_);

    auto* scaleBox = new QGroupBox(QStringLiteral("Scale"), this);
    auto* scaleColumn = new QVBoxLayout(scaleBox);
    fitWidthButton_ = named(new QRadioButton(QStringLiteral("&Fit to page width"), scaleBox), "fitWidthButton",
        QStringLiteral("Fit to page width"));
    percentButton_ = named(new QRadioButton(QStringLiteral("&Scale by:"), scaleBox), "percentButton",
        QStringLiteral("Scale by a percentage"));
    scaleSpin_ = named(new QSpinBox(scaleBox), "scaleSpin", QStringLiteral("Scale in percent"));
    scaleSpin_->setRange(MinScalePercent, MaxScalePercent);
    scaleSpin_->setSingleStep(10);
    scaleSpin_->setSuffix(QStringLiteral(" %"));
    auto* scaleGroup = new QButtonGroup(this);
    scaleGroup->addButton(fitWidthButton_);
    scaleGroup->addButton(percentButton_);
    auto* percentRow = new QHBoxLayout();
    percentRow->addWidget(percentButton_);
    percentRow->addWidget(scaleSpin_);
    percentRow->addStretch();
    scaleColumn->addWidget(fitWidthButton_);
    scaleColumn->addLayout(percentRow);

    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    buttons_->setObjectName(QStringLiteral("pageSetupButtons"));
    QPushButton* restore = buttons_->button(QDialogButtonBox::RestoreDefaults);
    restore->setObjectName(QStringLiteral("restoreDefaultsButton"));
    restore->setText(QStringLiteral("Restore &defaults"));
    restore->setAccessibleName(QStringLiteral("Restore defaults"));
    buttons_->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons_->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));

    auto* column = new QVBoxLayout(this);
    column->addWidget(paperBox);
    column->addWidget(marginBox);
    column->addWidget(printBox);
    column->addWidget(scaleBox);
    column->addStretch();
    column->addWidget(buttons_);
    // Sized from the text it shows, so it suits any font and screen density.
    column->setSizeConstraint(QLayout::SetMinimumSize);

    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(restore, &QPushButton::clicked, this, &PageSetupDialog::restoreDefaults);
    connect(percentButton_, &QRadioButton::toggled, scaleSpin_, &QWidget::setEnabled);
    connect(paperCombo_, &QComboBox::currentIndexChanged, this, &PageSetupDialog::limitMargins);
    connect(landscapeButton_, &QRadioButton::toggled, this, &PageSetupDialog::limitMargins);
    for (QDoubleSpinBox* spin : {leftMarginSpin_, topMarginSpin_, rightMarginSpin_, bottomMarginSpin_})
        connect(spin, &QDoubleSpinBox::valueChanged, this, &PageSetupDialog::limitMargins);

    setPageSetup(current);
    paperCombo_->setFocus();
}

void PageSetupDialog::selectPaper(const QPageSize& paper)
{
    qsizetype index = papers_.indexOf(paper);
    if (index < 0) {
        papers_ << paper;
        paperCombo_->addItem(paperText(paper));
        index = papers_.size() - 1;
    }
    paperCombo_->setCurrentIndex(int(index));
}

void PageSetupDialog::setPageSetup(const PageSetup& setup)
{
    selectPaper(setup.paper);
    (setup.orientation == QPageLayout::Landscape ? landscapeButton_ : portraitButton_)->setChecked(true);
    // Room first, so no margin is cut by the limits of the margins it replaces.
    for (QDoubleSpinBox* spin : {leftMarginSpin_, topMarginSpin_, rightMarginSpin_, bottomMarginSpin_})
        spin->setRange(0, 10000);
    leftMarginSpin_->setValue(setup.marginsMm.left());
    topMarginSpin_->setValue(setup.marginsMm.top());
    rightMarginSpin_->setValue(setup.marginsMm.right());
    bottomMarginSpin_->setValue(setup.marginsMm.bottom());
    limitMargins();
    headerFooterCheck_->setChecked(setup.headerFooter);
    backgroundsCheck_->setChecked(setup.backgrounds);
    fixedBarsOnceCheck_->setChecked(setup.fixedBarsOnce);
    (setup.scalePercent > 0 ? percentButton_ : fitWidthButton_)->setChecked(true);
    scaleSpin_->setValue(setup.scalePercent > 0 ? setup.scalePercent : 100);
    scaleSpin_->setEnabled(setup.scalePercent > 0);
}

PageSetup PageSetupDialog::pageSetup() const
{
    PageSetup setup;
    setup.paper = papers_.value(paperCombo_->currentIndex(), defaults_.paper);
    setup.orientation = landscapeButton_->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
    setup.marginsMm = QMarginsF(
        leftMarginSpin_->value(), topMarginSpin_->value(), rightMarginSpin_->value(), bottomMarginSpin_->value());
    setup.headerFooter = headerFooterCheck_->isChecked();
    setup.backgrounds = backgroundsCheck_->isChecked();
    setup.fixedBarsOnce = fixedBarsOnceCheck_->isChecked();
    setup.scalePercent = percentButton_->isChecked() ? scaleSpin_->value() : 0;
    return setup;
}

void PageSetupDialog::restoreDefaults()
{
    setPageSetup(defaults_);
}

void PageSetupDialog::limitMargins()
{
    QSizeF paper = papers_.value(paperCombo_->currentIndex(), defaults_.paper).size(QPageSize::Millimeter);
    if (landscapeButton_->isChecked())
        paper.transpose();
    auto limit = [](QDoubleSpinBox* spin, double room) {
        const QSignalBlocker quiet(spin);
        spin->setMaximum(std::max(room, 0.0));
    };
    limit(leftMarginSpin_, paper.width() - MinContentMm - rightMarginSpin_->value());
    limit(rightMarginSpin_, paper.width() - MinContentMm - leftMarginSpin_->value());
    limit(topMarginSpin_, paper.height() - MinContentMm - bottomMarginSpin_->value());
    limit(bottomMarginSpin_, paper.height() - MinContentMm - topMarginSpin_->value());
}

} // namespace dv
