// qpdf's own smart pointers are std::shared_ptr from this level on.
#define POINTERHOLDER_TRANSITION 4

#include "pdfmerge.h"

#include "errors.h"
#include "identity.h"
#include "printinglog.h"

#include <QtGlobal>

#include <qpdf/Buffer.hh>
#include <qpdf/PDFVersion.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>
#include <vector>

namespace dv {

namespace {

QByteArray written(QPDF& document, const PDFVersion& minimum)
{
    QPDFWriter writer(document);
    writer.setOutputMemory();
    writer.setMinimumPDFVersion(minimum);
    writer.write();
    const std::shared_ptr<Buffer> buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()), static_cast<qsizetype>(buffer->getSize()));
}

void setDocumentInfo(QPDF& document, const QString& title)
{
    QPDFObjectHandle trailer = document.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    if (!title.isEmpty())
        info.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title.toStdString()));
    info.replaceKey("/Creator", QPDFObjectHandle::newUnicodeString(pdfCreator().toStdString()));
    info.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString(pdfProducer().toStdString()));
}

} // namespace

QString pdfCreator()
{
    // The name and version the program read from its own version resource at start-up.
    const QString product = AppProduct.isEmpty() ? QString::fromLatin1(ApplicationTitle) : AppProduct;
    const QString version = AppVersion.isEmpty() ? QStringLiteral(DV_SHORT_VERSION) : AppVersion;
    return product + QLatin1Char(' ') + version;
}

QString pdfProducer()
{
    return QStringLiteral("Qt WebEngine %1, libqpdf %2")
        .arg(QString::fromLatin1(qVersion()), QString::fromStdString(QPDF::QPDFVersion()));
}

QByteArray withDocumentInfo(const QByteArray& pdf, const QString& title)
{
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processMemoryFile("page", pdf.constData(), static_cast<size_t>(pdf.size()));
        setDocumentInfo(document, title);
        return written(document, document.getVersionAsPDFVersion());
    } catch (const std::exception& e) {
        qCWarning(lcPrinting) << "document information not set:" << e.what();
        return pdf;
    }
}

struct PdfMerger::Parts {
    QPDF document;
    // The first page and title of each appended document, for the outline.
    std::vector<std::pair<QPDFObjectHandle, QString>> starts;
    // The highest version of the documents appended: their pages may use what it brings.
    PDFVersion version {1, 3};
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
        parts_->version.updateIfGreater(source.getVersionAsPDFVersion());
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

QByteArray PdfMerger::toPdf(const QString& title)
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
        setDocumentInfo(document, title);
        return written(document, parts_->version);
    } catch (const std::exception& e) {
        throw AppError(QStringLiteral("The PDF file could not be made: %1").arg(QString::fromUtf8(e.what())));
    }
}

} // namespace dv
