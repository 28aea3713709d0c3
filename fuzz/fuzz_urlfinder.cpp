// The URL list dialog's "Add" without widgets: the pasted text cut into lines, and the
// web addresses found in each line.
#include "fuzzcheck.h"
#include "urlfinder.h"

#include <cstddef>
#include <cstdint>

using dv::fuzz::bytesOf;
using dv::fuzz::shown;

namespace {

bool startsAsWebAddress(const QString& url)
{
    // Only ASCII letters: the address goes to the page list and from there to the browser.
    for (const char* scheme : {"http://", "https://"}) {
        const QString s = QLatin1String(scheme);
        if (url.size() < s.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; i < s.size() && same; ++i) {
            const char16_t c = url.at(i).unicode();
            same = (c < 0x80 ? char16_t(QChar::toLower(c)) : c) == s.at(i).unicode();
        }
        if (same)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(bytesOf(data, size));
    const QStringList lines = dv::textLines(text);

    // The lines are the text with every break made one LF, less a break at the very end.
    QString joined = text;
    joined.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (joined.endsWith(QLatin1Char('\n')))
        joined.chop(1);
    FUZZ_CHECK(lines.join(QLatin1Char('\n')) == joined, shown(lines));
    for (const QString& line : lines)
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n'), shown(line));

    QStringList found;
    for (const QString& line : lines) {
        const QStringList before = found;
        dv::findUrlsInLine(line, found);
        FUZZ_CHECK(found.mid(0, before.size()) == before, shown(found));
        qsizetype from = 0;
        for (qsizetype i = before.size(); i < found.size(); ++i) {
            const QString& url = found.at(i);
            FUZZ_CHECK(startsAsWebAddress(url), shown(url) + QStringLiteral(" in ") + shown(line));
            // Found left to right, each a piece of the line as it stands.
            const qsizetype at = line.indexOf(url, from);
            FUZZ_CHECK(at >= 0, shown(url) + QStringLiteral(" in ") + shown(line));
            from = at + 1;
            for (const QChar c : url)
                FUZZ_CHECK(c.unicode() > 0x20 && c.unicode() != 0x7F, shown(url));
        }
    }
    return 0;
}
