// The version resource reader over any file's contents.
#include "errors.h"
#include "fuzzcheck.h"
#include "versioninfo.h"

#include <cstddef>
#include <cstdint>

using dv::fuzz::bytesOf;

namespace {

bool untouched(const ExeVersionData& d)
{
    for (const QString* s :
        {&d.CompanyName, &d.FileDescription, &d.FileVersion, &d.InternalName, &d.LegalCopyright, &d.LegalTrademarks,
            &d.OriginalFileName, &d.ProductName, &d.ProductVersion, &d.Comments, &d.PrivateBuild, &d.SpecialBuild}) {
        if (!s->isEmpty())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray contents = bytesOf(data, size);
    ExeVersionData read;
    try {
        readExeVersionDataFromBytes(contents, read);
        // Only an ELF file carries the resource.
        FUZZ_CHECK(contents.startsWith("\x7F"
                                       "ELF"),
            QStringLiteral("read from a file that is not ELF"));
    } catch (const dv::SystemError& e) {
        // A refusal leaves the caller's data as it was.
        FUZZ_CHECK(untouched(read), e.message());
    }
    const quint32 version = readFileVersionFromBytes(contents);
    FUZZ_CHECK(formatVersion(version).count(QLatin1Char('.')) == 1, formatVersion(version));
    return 0;
}
