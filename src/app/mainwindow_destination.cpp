// "Print to:" beside the delay field, and where the pages of a print run go.
#include "mainwindow.h"

#include "destination.h"
#include "dialogs.h"
#include "errordialog.h"
#include "pagelistbox.h"
#include "runengine.h"
#include "services.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

/// A combo box that lists its items afresh each time it opens, so printers added
/// or removed meanwhile show as they are.
class RefreshingComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

constexpr int KindRole = Qt::UserRole;
constexpr int TargetRole = Qt::UserRole + 1;

dv::PrintDestination itemDestination(const QComboBox* box, int index)
{
    return {dv::PrintDestination::Kind(box->itemData(index, KindRole).toInt()),
        box->itemData(index, TargetRole).toString()};
}

QString pdfItemText(const QString& text, const QString& path)
{
    return path.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, QFileInfo(path).fileName());
}

} // namespace

void MainWindow::buildDestinationChoice(QBoxLayout* row)
{
    printToLabel_ = new QLabel(QStringLiteral("Print &to:"), printPanel_);
    printToLabel_->setObjectName(QStringLiteral("printToLabel"));
    auto* box = new RefreshingComboBox(printPanel_);
    box->setObjectName(QStringLiteral("printToBox"));
    box->setAccessibleName(QStringLiteral("Print to"));
    box->setFocusPolicy(Qt::StrongFocus);
    // Long printer names widen the list that opens, not the field.
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(24);
    printToLabel_->setBuddy(box);
    printToBox_ = box;
    row->addSpacing(12);
    row->addWidget(printToLabel_);
    row->addWidget(printToBox_);
}

void MainWindow::buildPagesAtOnceChoice(QBoxLayout* row)
{
    pagesAtOnceLabel_ = new QLabel(QStringLiteral("Pages at &once:"), printPanel_);
    pagesAtOnceLabel_->setObjectName(QStringLiteral("pagesAtOnceLabel"));
    pagesAtOnceSpin_ = new QSpinBox(printPanel_);
    pagesAtOnceSpin_->setObjectName(QStringLiteral("pagesAtOnceSpin"));
    pagesAtOnceSpin_->setAccessibleName(QStringLiteral("Pages loaded at once"));
    pagesAtOnceSpin_->setRange(1, dv::MaxPagesAtOnce);
    pagesAtOnceSpin_->setToolTip(QStringLiteral(
        "How many pages load side by side during Print All. They still print one by one, in list order."));
    pagesAtOnceLabel_->setBuddy(pagesAtOnceSpin_);
    row->addSpacing(12);
    row->addWidget(pagesAtOnceLabel_);
    row->addWidget(pagesAtOnceSpin_);
}

void MainWindow::connectDestinationHandlers()
{
    pagesAtOnceSpin_->setValue(dv::pagesAtOnce(services_.registry));
    if (!dv::overlapEnabled(services_.registry)) {
        // Switched off in the settings for pages that must not load before their turn.
        pagesAtOnceSpin_->setEnabled(false);
        pagesAtOnceSpin_->setToolTip(QStringLiteral("Pages load one at a time: loading ahead is switched off in the settings."));
    }
    connect(pagesAtOnceSpin_, &QSpinBox::valueChanged, this, [this](int pages) {
        if (!parts_.unattended && !dv::savePagesAtOnce(services_.registry, pages))
            setStatusText(QStringLiteral("The \"Pages at once\" choice could not be stored."));
    });
    static_cast<RefreshingComboBox*>(printToBox_)->beforePopup = dv::guarded([this] { refreshDestinations(); });
    connect(printToBox_, &QComboBox::activated, this,
        [this](int index) { dv::guarded([this, index] { chooseDestination(index); })(); });
    // The command line says where its run goes; the stored choice is the window's.
    if (parts_.unattended)
        refreshDestinations();
    else
        restoreDestination();
}

void MainWindow::restoreDestination()
{
    destination_ = dv::loadDestination(services_.registry);
    refreshDestinations();
}

void MainWindow::refreshDestinations()
{
    using Kind = dv::PrintDestination::Kind;
    // Nobody sees the list in a run from the command line: the scheduler is not asked.
    const dv::PrinterList printers = parts_.unattended ? dv::PrinterList {} : dv::availablePrinters();
    const QSignalBlocker quiet(printToBox_);
    printToBox_->clear();
    auto add = [this](const QString& text, Kind kind, const QString& target, const QString& hint = QString()) {
        printToBox_->addItem(text);
        const int index = printToBox_->count() - 1;
        printToBox_->setItemData(index, int(kind), KindRole);
        printToBox_->setItemData(index, target, TargetRole);
        printToBox_->setItemData(index, hint.isEmpty() ? text : hint, Qt::ToolTipRole);
    };
    add(printers.defaultName.isEmpty() ? QStringLiteral("Default printer")
                                       : QStringLiteral("Default printer (%1)").arg(printers.defaultName),
        Kind::DefaultPrinter, QString());
    for (const QString& name : printers.names)
        add(name, Kind::Printer, name);

    const dv::PrintDestination chosen = destination_.chosen;
    if (chosen.kind == Kind::Printer && !printers.names.contains(chosen.target)) {
        if (parts_.unattended) {
            // Named on the command line: kept, and refused by the printing system
            // when the run sends its first page.
            add(chosen.target, Kind::Printer, chosen.target);
        } else {
            destination_.chosen = {};
            setStatusText(QStringLiteral("The printer \"%1\" is no longer available; pages go to the default printer.")
                              .arg(chosen.target));
        }
    }
    add(pdfItemText(QStringLiteral("PDF files in a folder\u2026"), destination_.pdfFolder), Kind::PdfFolder,
        destination_.pdfFolder, destination_.pdfFolder);
    add(pdfItemText(QStringLiteral("One PDF file\u2026"), destination_.pdfFile), Kind::PdfFile, destination_.pdfFile,
        destination_.pdfFile);
    // The list that opens is wide enough for the longest name.
    printToBox_->view()->setMinimumWidth(printToBox_->view()->sizeHintForColumn(0) + 24);
    showDestination();
}

void MainWindow::showDestination()
{
    const QSignalBlocker quiet(printToBox_);
    for (int i = 0; i < printToBox_->count(); ++i) {
        const dv::PrintDestination item = itemDestination(printToBox_, i);
        if (item.kind == destination_.chosen.kind && item.target == destination_.chosen.target) {
            printToBox_->setCurrentIndex(i);
            printToBox_->setToolTip(printToBox_->itemData(i, Qt::ToolTipRole).toString());
            return;
        }
    }
    printToBox_->setCurrentIndex(0);
}

void MainWindow::chooseDestination(int index)
{
    using Kind = dv::PrintDestination::Kind;
    dv::PrintDestination chosen = itemDestination(printToBox_, index);
    if (chosen.kind == Kind::PdfFolder) {
        chosen.target = services_.dialogs.getExistingDirectory(this, destination_.pdfFolder);
        if (!chosen.target.isEmpty())
            destination_.pdfFolder = chosen.target;
    } else if (chosen.kind == Kind::PdfFile) {
        chosen.target
            = services_.dialogs.getSaveFileName(this, QStringLiteral("PDF Files (*.pdf)|*.pdf"), QStringLiteral("pdf"));
        if (!chosen.target.isEmpty())
            destination_.pdfFile = chosen.target;
    }
    if ((chosen.kind == Kind::PdfFolder || chosen.kind == Kind::PdfFile) && chosen.target.isEmpty()) {
        // Cancelled: the choice before stays.
        showDestination();
        return;
    }
    destination_.chosen = chosen;
    refreshDestinations();
    if (!parts_.unattended && !dv::saveDestination(services_.registry, destination_))
        setStatusText(QStringLiteral("The \"Print to\" choice could not be stored."));
}

void MainWindow::setPrintDestination(const dv::PrintDestination& destination)
{
    destination_.chosen = destination;
    if (destination.kind == dv::PrintDestination::Kind::PdfFolder)
        destination_.pdfFolder = destination.target;
    if (destination.kind == dv::PrintDestination::Kind::PdfFile)
        destination_.pdfFile = destination.target;
    refreshDestinations();
}
