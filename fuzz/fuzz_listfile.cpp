// The list file reader over any bytes, and the save-then-load round trip of what it read.
#include "fuzzcheck.h"
#include "listfile.h"

#include <cstddef>
#include <cstdint>

using dv::fuzz::bytesOf;
using dv::fuzz::shown;

namespace {

// Whether the format can carry the entries unchanged. A saved list has no byte-order
// mark, so a first entry that starts with U+FEFF loses it when loaded (the reader takes
// it for the mark); an unpaired surrogate has no encoding and is replaced when saved.
bool survivesSaving(const QStringList& entries)
{
    if (!entries.isEmpty() && entries.first().startsWith(QChar(0xFEFF)))
        return false;
    for (const QString& entry : entries) {
        for (qsizetype i = 0; i < entry.size(); ++i) {
            const QChar c = entry.at(i);
            if (c.isHighSurrogate() && i + 1 < entry.size() && entry.at(i + 1).isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    const QStringList lines = dv::decodeListFile(bytes);

    // Lines hold no break and no NUL, and counting agrees with splitting, since the
    // loader bounds a file by the count before it builds the lines.
    for (const QString& line : lines)
        FUZZ_CHECK(!line.contains(u'\r') && !line.contains(u'\n') && !line.contains(QChar(u'\0')), shown(line));
    const QString text = dv::decodeListText(bytes);
    FUZZ_CHECK(dv::countListLines(text) == lines.size(), shown(lines));
    FUZZ_CHECK(dv::splitListLines(text) == lines, shown(lines));

    // Saving what was loaded and loading it again gives the same entries.
    if (survivesSaving(lines)) {
        const QByteArray saved = dv::encodeListFile(lines);
        FUZZ_CHECK(saved.isEmpty() == lines.isEmpty(), shown(lines));
        const QStringList again = dv::decodeListFile(saved);
        FUZZ_CHECK(again == lines, shown(lines) + QStringLiteral(" came back as ") + shown(again));
    }
    return 0;
}
