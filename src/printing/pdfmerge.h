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
    /// The merged document; viewers open it with its outline shown. Raises
    /// dv::AppError when it cannot be written.
    QByteArray toPdf();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace dv
