#include "pdfpreview.h"

#include "errors.h"

#include <QAction>
#include <QDir>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTemporaryFile>

#include <exception>

namespace dv {

namespace {

// Sharp enough on screen at the preview's usual zoom, small enough to keep many pages.
constexpr double PreviewDpi = 120;

// The dialog's own actions, found by their (possibly translated) texts.
QString previewText(const char* text)
{
    return QCoreApplication::translate("QPrintPreviewDialog", text);
}

} // namespace

void previewPdf(const QByteArray& pdf, const QString& documentName, QWidget* parent, const std::function<void()>& print)
{
    // Read from a file, which the document loads before it returns; from memory it
    // would load on the event loop.
    QTemporaryFile file(QDir::temp().filePath(QStringLiteral("dorvantis-preview-XXXXXX.pdf")));
    if (!file.open() || file.write(pdf) != pdf.size() || !file.flush())
        throw AppError(QStringLiteral("The print preview could not be shown."));
    QPdfDocument document;
    if (document.load(file.fileName()) != QPdfDocument::Error::None || document.pageCount() < 1)
        throw AppError(QStringLiteral("The print preview could not be shown."));

    // The preview's paper is the printout's sheet, with nothing added around it.
    QSizeF sheet = document.pagePointSize(0);
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    if (sheet.width() > sheet.height()) {
        sheet.transpose();
        orientation = QPageLayout::Landscape;
    }
    // A PDF printer takes any paper as it is; a printer's own would bend it to its
    // media. The preview never prints through it (see Print below).
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setFullPage(true);
    printer.setPageLayout(
        QPageLayout(QPageSize(sheet, QPageSize::Point, QString(), QPageSize::FuzzyMatch), orientation, QMarginsF()));
    printer.setDocName(documentName);

    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("PrintPreviewDialog"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&document](QPrinter* target) {
        QPainter painter(target);
        const QRectF paper = target->paperRect(QPrinter::DevicePixel);
        for (int page = 0; page < document.pageCount(); ++page) {
            if (page > 0)
                target->newPage();
            const QSize pixels = (document.pagePointSize(page) * PreviewDpi / 72.0).toSize();
            // The rendered page is transparent where nothing is drawn: lay it on white paper.
            QImage sheet(pixels, QImage::Format_RGB32);
            sheet.fill(Qt::white);
            QPainter(&sheet).drawImage(0, 0, document.render(page, pixels));
            painter.drawImage(paper, sheet);
        }
    });

    std::exception_ptr failure;
    for (QAction* action : dialog.findChildren<QAction*>()) {
        const QString text = action->text();
        if (text == previewText("Portrait") || text == previewText("Landscape") || text == previewText("Page setup")) {
            // The layout is the printout's; the preview only shows it.
            action->setVisible(false);
        } else if (text == previewText("Print")) {
            // Not the dialog's own printing, which would draw the pictures again:
            // the PDF the preview shows is what goes out.
            QObject::disconnect(action, nullptr, &dialog, nullptr);
            QObject::connect(action, &QAction::triggered, &dialog, [&] {
                try {
                    print();
                    dialog.accept();
                } catch (...) {
                    failure = std::current_exception();
                    dialog.reject();
                }
            });
        }
    }
    dialog.exec();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace dv
