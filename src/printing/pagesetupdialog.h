#pragma once

#include "pagesetup.h"

#include <QDialog>
#include <QList>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QRadioButton;
class QSpinBox;

namespace dv {

/// "Page Setup": paper size, orientation, margins, header and footer, backgrounds,
/// fixed bars and scale, as one dialog. It edits a PageSetup; storing it is the caller's part.
/// Its controls carry object names after their members (paperCombo, leftMarginSpin,
/// headerFooterCheck, ...), which is how tests find them.
class PageSetupDialog : public QDialog {
    Q_OBJECT

public:
    PageSetupDialog(const PageSetup& current, const PageSetup& defaults, QWidget* parent = nullptr);

    /// The choices the controls show.
    PageSetup pageSetup() const;
    void setPageSetup(const PageSetup& setup);
    /// "Restore defaults": the controls show the printer's defaults again.
    void restoreDefaults();

private:
    void selectPaper(const QPageSize& paper);
    // Margins may not leave less than the smallest content box on the paper.
    void limitMargins();

    PageSetup defaults_;
    QList<QPageSize> papers_;
    QComboBox* paperCombo_ = nullptr;
    QRadioButton* portraitButton_ = nullptr;
    QRadioButton* landscapeButton_ = nullptr;
    QDoubleSpinBox* leftMarginSpin_ = nullptr;
    QDoubleSpinBox* topMarginSpin_ = nullptr;
    QDoubleSpinBox* rightMarginSpin_ = nullptr;
    QDoubleSpinBox* bottomMarginSpin_ = nullptr;
    QCheckBox* headerFooterCheck_ = nullptr;
    QCheckBox* backgroundsCheck_ = nullptr;
    QCheckBox* fixedBarsOnceCheck_ = nullptr;
    QRadioButton* fitWidthButton_ = nullptr;
    QRadioButton* percentButton_ = nullptr;
    QSpinBox* scaleSpin_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

} // namespace dv
