// qpdf's own smart pointers are std::shared_ptr from this level on.
#define POINTERHOLDER_TRANSITION 4

#include "pdfmerge.h"

#include "errors.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <vector>

namespace dv {

struct PdfMerger::Parts {
    QPDF document;
    // The first page and title of each appended document, for the outline.
    std::vector<std::pair<QPDFObjectHandle, QString>> starts;
};

PdfMerger::PdfMerger()
    : parts_(std::make_unique<Parts>())
{
    parts_->document.emptyPDF();
    parts_->document.setSuppressWarnings(true);
}

PdfMerger::~PdfMerger() = default;

void PdfMerger::append(const QByteArray& pdf, const QString& title)
{
    try {
        QPDF source;
        source.setSuppressWarnings(true);
        source.processMemoryFile("page", pdf.constData(), static_cast<size_t>(pdf.size()));
        // Copies the content now, so the source goes when this returns.
        source.setImmediateCopyFrom(true);
        const std::vector<QPDFObjectHandle> pages = source.getAllPages();
        if (pages.empty())
            throw AppError(QStringLiteral("The printed page holds no pages."));
        const size_t first = parts_->document.getAllPages().size();
        for (const QPDFObjectHandle& page : pages)
            parts_->document.addPage(page, false);
        parts_->starts.emplace_back(parts_->document.getAllPages().at(first), title);
    } catch (const AppError&) {
        throw;
    } catch (const std::exception& e) {
        throw AppError(
            QStringLiteral("The printed page could not be read as PDF: %1").arg(QString::fromUtf8(e.what())));
    }
}

int PdfMerger::documentCount() const
{
    return static_cast<int>(parts_->starts.size());
}

int PdfMerger::pageCount() const
{
    return static_cast<int>(parts_->document.getAllPages().size());
}

QByteArray PdfMerger::toPdf()
{
    try {
        QPDF& document = parts_->document;
        QPDFObjectHandle root = document.getRoot();
        QPDFObjectHandle outlines = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
        QPDFObjectHandle previous;
        for (const auto& [page, title] : parts_->starts) {
            QPDFObjectHandle item = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
            item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title.toStdString()));
            item.replaceKey("/Parent", outlines);
            item.replaceKey("/Dest", QPDFObjectHandle::newArray({page, QPDFObjectHandle::newName("/Fit")}));
            if (previous.isInitialized()) {
                item.replaceKey("/Prev", previous);
                previous.replaceKey("/Next", item);
            } else {
                outlines.replaceKey("/First", item);
            }
            previous = item;
        }
        if (previous.isInitialized()) {
            outlines.replaceKey("/Last", previous);
            outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(parts_->starts.size())));
            root.replaceKey("/Outlines", outlines);
            root.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
        }
        QPDFWriter writer(document);
        writer.setOutputMemory();
        writer.write();
        const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
        return QByteArray(
            reinterpret_cast<const char*>(buffer->getBuffer()), static_cast<qsizetype>(buffer->getSize()));
    } catch (const std::exception& e) {
        throw AppError(QStringLiteral("The PDF file could not be made: %1").arg(QString::fromUtf8(e.what())));
    }
}

} // namespace dv
