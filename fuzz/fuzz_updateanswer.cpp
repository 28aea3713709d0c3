// The update check's decision from the service's answer: its bytes and Content-Type
// decoded as the form client does, then what would be stored and what would be shown.
//
// Input: one byte whose lowest bit picks the route (set: TLS), the Content-Type up to
// the first LF, then the answer's body.
#include "answerbody.h"
#include "check.h"
#include "fuzzcheck.h"
#include "settings.h"
#include "updateanswer.h"
#include "updatenotice.h"

#include <QUrl>

#include <cstddef>
#include <cstdint>

using dv::fuzz::bytesOf;
using dv::fuzz::shown;

namespace {

bool holdsBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// A web address as the desktop shell receives it (it parses the text tolerantly): http
// or https with a host, and no ASCII blank or control character the browser's command
// line could split or hide.
bool isWebAddress(const QString& address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return false;
    const QString scheme = address.section(QLatin1Char(':'), 0, 0);
    if (scheme.compare(url.scheme(), Qt::CaseInsensitive) != 0)
        return false;
    for (const QChar c : address) {
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto route = (data[0] & 1) ? dv::AnswerBody::Route::Tls : dv::AnswerBody::Route::Plain;
    const QByteArray rest = bytesOf(data + 1, size - 1);
    const qsizetype lf = rest.indexOf('\n');
    const QByteArray contentType = lf < 0 ? QByteArray() : rest.left(lf);
    const QByteArray body = lf < 0 ? rest : rest.mid(lf + 1);

    const QString answer = dv::decodeAnswerText(body, contentType, route);
    const QStringList lines = dv::AnswerLines(answer);
    const std::optional<dv::UpdateAnswer> accepted = dv::readUpdateAnswer(answer);
    FUZZ_CHECK(accepted.has_value() == dv::AnswerAccepted(answer, lines), shown(answer));
    if (!accepted)
        return 0;

    // Only a complete answer is used, and only the framed values of its lines.
    FUZZ_CHECK(!answer.startsWith(QLatin1String("ERROR")) && lines.size() >= 4
            && lines[3] == QLatin1String(dv::AnswerCompleteLine),
        shown(answer));
    FUZZ_CHECK(
        accepted->version.isEmpty() || lines[0] == "<version>" + accepted->version + "</version>", shown(lines[0]));
    FUZZ_CHECK(
        accepted->downloadUrl.isEmpty() || lines[1] == "<url>" + accepted->downloadUrl + "</url>", shown(lines[1]));
    FUZZ_CHECK(!holdsBreak(accepted->version) && !holdsBreak(accepted->downloadUrl) && !holdsBreak(accepted->important),
        shown(answer));

    // The important message is shown exactly when it holds something visible.
    bool visible = false;
    for (const QChar c : accepted->important)
        visible = visible || c.unicode() > 32;
    FUZZ_CHECK(accepted->showImportant == visible, shown(accepted->important));

    // The running version is never announced as an update.
    FUZZ_CHECK(!dv::announcesOtherVersion(accepted->version, accepted->version), shown(accepted->version));

    // The download address is stored scrambled and read back unchanged at the next start;
    // what the notice then opens is a web address or the maker's home page, never a
    // local file, a script or a program.
    const QString stored = dv::ScrambleText(accepted->downloadUrl, dv::ScrambleSeed);
    const QString readBack = dv::UnscrambleText(stored, dv::ScrambleSeed);
    FUZZ_CHECK(readBack == accepted->downloadUrl, shown(accepted->downloadUrl) + " came back as " + shown(readBack));
    const QString opened = dv::DownloadAddressToOpen(readBack);
    FUZZ_CHECK(opened == dv::MakerHomePage() || isWebAddress(opened),
        shown(opened) + " opened for " + shown(accepted->downloadUrl));
    return 0;
}
