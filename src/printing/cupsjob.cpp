#include "cupsjob.h"

#include "destination.h"
#include "errors.h"

#include <QDeadlineTimer>

#include <cups/cups.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace dv {

namespace {

QString lastCupsError()
{
    return QString::fromUtf8(cupsLastErrorString());
}

// The scheduler as messages name it: HOST:PORT, or the path of its local socket.
QString schedulerAddress()
{
    const QString server = QString::fromUtf8(cupsServer());
    if (server.startsWith(QLatin1Char('/')))
        return server;
    return QStringLiteral("%1:%2").arg(server).arg(ippPort());
}

AppError unreachable()
{
    return AppError(QStringLiteral("The printing system (CUPS) cannot be reached at %1.").arg(schedulerAddress()));
}

AppError silent()
{
    return AppError(QStringLiteral("The printing system at %1 does not answer.").arg(schedulerAddress()));
}

/// A connection of our own to the scheduler, on which no exchange waits longer
/// than CupsExchangeSeconds: libcups alone waits a minute per read and retries
/// over new connections, so a scheduler that accepts and never answers would
/// hold a run for many minutes, or for ever.
class Connection {
public:
    Connection()
        : http_(httpConnect2(
            cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, CupsExchangeSeconds * 1000, nullptr))
    {
        // Each wait looks at the clock once a second; a wait past the deadline fails.
        if (http_)
            httpSetTimeout(http_, 1.0, &Connection::keepWaiting, this);
    }
    ~Connection()
    {
        if (http_)
            httpClose(http_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return http_ != nullptr; }
    /// The connection, its bound started afresh; raises dv::AppError when the
    /// scheduler cannot be reached.
    http_t* exchange()
    {
        if (!http_)
            throw unreachable();
        deadline_.setRemainingTime(qint64(CupsExchangeSeconds) * 1000);
        return http_;
    }
    /// Whether an exchange ended because the scheduler kept silent.
    bool timedOut() const { return timedOut_; }
    /// Raises the error that ends a run once the scheduler has kept silent, and
    /// one that says it cannot be reached when it dropped the connection.
    void requireAnswered() const
    {
        if (timedOut_)
            throw silent();
        if (cupsLastError() == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE)
            throw unreachable();
    }

private:
    static int keepWaiting(http_t*, void* self)
    {
        auto* connection = static_cast<Connection*>(self);
        if (!connection->deadline_.hasExpired())
            return 1;
        connection->timedOut_ = true;
        return 0;
    }

    http_t* http_;
    QDeadlineTimer deadline_;
    bool timedOut_ = false;
};

using DestPtr = std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)>;
using IppPtr = std::unique_ptr<ipp_t, void (*)(ipp_t*)>;

// One small request whose answer, whatever it says, shows that the scheduler
// answers; raises the run-ending error when it keeps silent.
void askScheduler(Connection& connection)
{
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "printer-name");
    // cupsDoRequest frees the request.
    const IppPtr response(cupsDoRequest(connection.exchange(), request, "/"), ippDelete);
    if (connection.timedOut())
        throw silent();
}

// The destination called name, where "office/duplex" is the instance "duplex" of
// the queue "office", or the default one for an empty name; null when there is none.
DestPtr namedDest(Connection& connection, const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    const qsizetype slash = utf8.indexOf('/');
    const QByteArray queue = slash < 0 ? utf8 : utf8.left(slash);
    const QByteArray instance = slash < 0 ? QByteArray() : utf8.mid(slash + 1);
    // Looking a name up, libcups falls back to requests on a connection of its own,
    // beyond our bound: make sure first that the scheduler answers at all.
    if (!name.isEmpty())
        askScheduler(connection);
    DestPtr dest(cupsGetNamedDest(connection.exchange(), name.isEmpty() ? nullptr : queue.constData(),
                     slash < 0 ? nullptr : instance.constData()),
        [](cups_dest_t* d) { cupsFreeDests(1, d); });
    if (!dest)
        connection.requireAnswered();
    return dest;
}

} // namespace

QString defaultPrinterName()
{
    Connection connection;
    const DestPtr dest = namedDest(connection, QString());
    if (!dest)
        throw AppError(QStringLiteral("No default printer is set up."));
    return QString::fromUtf8(dest->name);
}

void requirePrinter(const QString& name)
{
    Connection connection;
    if (!namedDest(connection, name))
        throw AppError(QStringLiteral("There is no printer \"%1\".").arg(name));
}

void requireAnsweringScheduler()
{
    Connection connection;
    if (connection.connected())
        askScheduler(connection);
}

bool schedulerKeepsSilent()
{
    // Once silent, taken as silent for a minute: a run to PDF files, which needs no
    // scheduler, then waits once, not once per page.
    static std::atomic<qint64> silentUntil {0};
    if (QDeadlineTimer::current().deadline() < silentUntil)
        return true;
    try {
        requireAnsweringScheduler();
        return false;
    } catch (const AppError&) {
        silentUntil = QDeadlineTimer::current().deadline() + 60000;
        return true;
    }
}

PrinterList availablePrinters()
{
    PrinterList list;
    Connection connection;
    cups_dest_t* dests = nullptr;
    int count = 0;
    try {
        count = cupsGetDests2(connection.exchange(), &dests);
    } catch (const AppError&) {
        return list; // out of reach: no printers to offer
    }
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += QLatin1Char('/') + QString::fromUtf8(dests[i].instance);
        if (dests[i].is_default)
            list.defaultName = name;
        list.names << name;
    }
    cupsFreeDests(count, dests);
    return list;
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
    Connection connection;
    // An instance ("office/duplex") prints on its queue with the instance's options.
    const qsizetype slash = destination.indexOf(QLatin1Char('/'));
    const QByteArray queue = (slash < 0 ? destination : destination.left(slash)).toUtf8();
    const DestPtr instance = slash < 0 ? DestPtr(nullptr, nullptr) : namedDest(connection, destination);
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
    if (cupsSendRequest(connection.exchange(), ipp, resource.constData(), ippLength(ipp) + size_t(pdf.size()))
        != HTTP_STATUS_CONTINUE) {
        connection.requireAnswered();
        throw refused();
    }
    // In pieces, each with a bound of its own: a slow line that keeps taking the
    // document is not a scheduler that does not answer.
    constexpr qsizetype piece = 256 * 1024;
    bool written = true;
    for (qsizetype at = 0; written && at < pdf.size(); at += piece)
        written = cupsWriteRequestData(
                      connection.exchange(), pdf.constData() + at, size_t(std::min(piece, pdf.size() - at)))
            == HTTP_STATUS_CONTINUE;
    // Read even after a failed write: the scheduler's answer says why.
    const IppPtr response(cupsGetResponse(connection.exchange(), resource.constData()), ippDelete);
    if (connection.timedOut())
        throw silent();
    if (response && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        throw refused();
    if (!written || !response)
        throw AppError(
            QStringLiteral("Sending the page to the printer \"%1\" failed: %2").arg(destination, lastCupsError()));
    ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
    return id ? ippGetInteger(id, 0) : 0;
}

} // namespace dv
