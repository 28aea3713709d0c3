#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace dv {

/// Gathers PDF documents into one with libqpdf: their pages in the order given,
/// and one outline entry (bookmark) per document, titled as given, that opens its
/// first page. Each document is copied in when appended, so nothing of it need
/// be kept by the caller.
class PdfMerger {
public:
    PdfMerger();
    ~PdfMerger();
    PdfMerger(const PdfMerger&) = delete;
    PdfMerger& operator=(const PdfMerger&) = delete;

    /// Raises dv::AppError when pdf cannot be read as a PDF with at least one page.
    void append(const QByteArray& pdf, const QString& title);
    int documentCount() const;
    int pageCount() const;
    /// The merged document, titled title; viewers open it with its outline shown.
    /// Its PDF version is the highest of its parts'. Raises dv::AppError when it
    /// cannot be written.
    QByteArray toPdf(const QString& title = QString());

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

/// The program and libraries a PDF of this program names in its document information.
QString pdfCreator();
QString pdfProducer();

/// pdf with its document information set: title (when not empty), creator and
/// producer; the rest of it as it was. A pdf that cannot be read is returned as is.
QByteArray withDocumentInfo(const QByteArray& pdf, const QString& title);

} // namespace dv
