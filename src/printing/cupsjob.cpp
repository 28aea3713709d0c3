#include "cupsjob.h"

#include "errors.h"

#include <cups/cups.h>

#include <memory>

namespace dv {

namespace {

QString lastCupsError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// Asked only after a failure: libcups reports an unreachable scheduler the same
// way as a missing default destination, so try to reach it directly.
bool serverUnreachable()
{
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 5000, nullptr);
    if (!http)
        return true;
    httpClose(http);
    return false;
}

using DestPtr = std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)>;
using IppPtr = std::unique_ptr<ipp_t, void (*)(ipp_t*)>;

// The destination called name, where "office/duplex" is the instance "duplex" of
// the queue "office"; null when there is none.
DestPtr namedDest(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    const qsizetype slash = utf8.indexOf('/');
    const QByteArray queue = slash < 0 ? utf8 : utf8.left(slash);
    const QByteArray instance = slash < 0 ? QByteArray() : utf8.mid(slash + 1);
    return DestPtr(cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), slash < 0 ? nullptr : instance.constData()),
        [](cups_dest_t* d) { cupsFreeDests(1, d); });
}

} // namespace

QString defaultPrinterName()
{
    std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> dest(
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr), [](cups_dest_t* d) { cupsFreeDests(1, d); });
    if (!dest) {
        if (serverUnreachable())
            throw AppError(QStringLiteral("The printing system (CUPS) cannot be reached at %1.")
                               .arg(QString::fromUtf8(cupsServer())));
        throw AppError(QStringLiteral("No default printer is set up."));
    }
    return QString::fromUtf8(dest->name);
}

void requirePrinter(const QString& name)
{
    if (namedDest(name))
        return;
    if (serverUnreachable())
        throw AppError(QStringLiteral("The printing system (CUPS) cannot be reached at %1.")
                           .arg(QString::fromUtf8(cupsServer())));
    throw AppError(QStringLiteral("There is no printer \"%1\".").arg(name));
}

QByteArray cupsJobName(const QString& address)
{
    constexpr qsizetype maxBytes = 255;
    QByteArray name = address.toUtf8();
    // The scheduler drops a name holding control characters for "Untitled".
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    if (name.size() <= maxBytes)
        return name;
    qsizetype cut = maxBytes;
    // Step back over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.truncate(cut);
    return name;
}

int submitPdfJob(const QString& destination, const QString& jobName, const QByteArray& pdf)
{
    // An instance ("office/duplex") prints on its queue with the instance's options.
    const qsizetype slash = destination.indexOf(QLatin1Char('/'));
    const QByteArray queue = (slash < 0 ? destination : destination.left(slash)).toUtf8();
    const DestPtr instance = slash < 0 ? DestPtr(nullptr, nullptr) : namedDest(destination);
    const QByteArray title = cupsJobName(jobName);

    // One Print-Job request carries the job and its document. Creating the job
    // first would have libcups ask for the queue and all its attributes on every
    // page, which costs several times the hand-over itself.
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
        queue.constData());
    const IppPtr request(ippNewRequest(IPP_OP_PRINT_JOB), ippDelete);
    ipp_t* ipp = request.get();
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.constData());
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, title.constData());
    ippAddString(ipp, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
    if (instance) {
        cupsEncodeOptions2(ipp, instance->num_options, instance->options, IPP_TAG_OPERATION);
        cupsEncodeOptions2(ipp, instance->num_options, instance->options, IPP_TAG_JOB);
    }
    const QByteArray resource = "/printers/" + queue;
    auto refused = [&destination] {
        return AppError(
            QStringLiteral("The printer \"%1\" did not accept the job: %2").arg(destination, lastCupsError()));
    };
    // The length is the whole body: the request and the document after it.
    if (cupsSendRequest(CUPS_HTTP_DEFAULT, ipp, resource.constData(), ippLength(ipp) + size_t(pdf.size()))
        != HTTP_STATUS_CONTINUE)
        throw refused();
    const bool written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), size_t(pdf.size()))
        == HTTP_STATUS_CONTINUE;
    // Read even after a failed write: the scheduler's answer says why.
    const IppPtr response(cupsGetResponse(CUPS_HTTP_DEFAULT, resource.constData()), ippDelete);
    if (response && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw refused();
    if (!written || !response)
        throw AppError(
            QStringLiteral("Sending the page to the printer \"%1\" failed: %2").arg(destination, lastCupsError()));
    ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
    return id ? ippGetInteger(id, 0) : 0;
}

} // namespace dv
