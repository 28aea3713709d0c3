#include "versioninfo.h"

#include "errors.h"

#include <QFile>
#include <QHash>

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <optional>

// The version resource is a run of NUL-terminated "key=value" strings in the ELF
// section .dvversion, keyed like the Windows resource ("\VarFileInfo\Translation",
// "\StringFileInfo\040904E4\CompanyName", "FixedFileVersion"). Every offset read
// from the file is checked against its size before use: any file may be handed in.

namespace {

const char* const SectionName = ".dvversion";

class Bytes {
public:
    Bytes(const uchar* data, quint64 size, bool bigEndian) : data_(data), size_(size), big_(bigEndian) {}

    quint64 size() const { return size_; }
    bool has(quint64 offset, quint64 length) const { return offset <= size_ && length <= size_ - offset; }

    // Reads an unsigned integer of 1 to 8 bytes; nullopt when out of bounds.
    std::optional<quint64> uint(quint64 offset, int width) const
    {
        if (!has(offset, quint64(width)))
            return std::nullopt;
        quint64 v = 0;
        for (int i = 0; i < width; ++i) {
            const quint64 byte = data_[offset + quint64(big_ ? i : width - 1 - i)];
            v = (v << 8) | byte;
        }
        return v;
    }
    const uchar* at(quint64 offset) const { return data_ + offset; }

private:
    const uchar* data_;
    quint64 size_;
    bool big_;
};

struct Section {
    quint64 nameOffset = 0;
    quint64 type = 0;
    quint64 offset = 0;
    quint64 size = 0;
    quint64 link = 0;
};

// The ELF section header layout, for 32- and 64-bit files.
struct Layout {
    int addr;      // width of addresses and offsets
    quint64 shoff; // e_shoff position in the file header
    quint64 shentsize, shnum, shstrndx;
    quint64 minEntry; // smallest section header size
    quint64 shName, shType, shOffset, shSize, shLink;
};

constexpr Layout Elf32{4, 0x20, 0x2E, 0x30, 0x32, 40, 0, 4, 0x10, 0x14, 0x18};
constexpr Layout Elf64{8, 0x28, 0x3A, 0x3C, 0x3E, 64, 0, 4, 0x18, 0x20, 0x28};

std::optional<Section> readSection(const Bytes& b, const Layout& l, quint64 tableOffset, quint64 entSize, quint64 index)
{
    if (index > (b.size() / entSize) + 1)
        return std::nullopt;
    const quint64 base = tableOffset + index * entSize;
    if (!b.has(base, entSize))
        return std::nullopt;
    auto name = b.uint(base + l.shName, 4);
    auto type = b.uint(base + l.shType, 4);
    auto offset = b.uint(base + l.shOffset, l.addr);
    auto size = b.uint(base + l.shSize, l.addr);
    auto link = b.uint(base + l.shLink, 4);
    if (!name || !type || !offset || !size || !link)
        return std::nullopt;
    return Section{*name, *type, *offset, *size, *link};
}

// The contents of the version section, or nullopt with errno-like code in error.
std::optional<QByteArray> findVersionSection(const Bytes& b, int& error)
{
    error = ENOEXEC;
    if (!b.has(0, EI_NIDENT) || std::memcmp(b.at(0), ELFMAG, SELFMAG) != 0)
        return std::nullopt;
    const uchar elfClass = *b.at(EI_CLASS);
    const uchar elfData = *b.at(EI_DATA);
    if ((elfClass != ELFCLASS32 && elfClass != ELFCLASS64) || (elfData != ELFDATA2LSB && elfData != ELFDATA2MSB))
        return std::nullopt;
    const Layout& l = elfClass == ELFCLASS64 ? Elf64 : Elf32;
    const Bytes e(b.at(0), b.size(), elfData == ELFDATA2MSB);

    auto shoff = e.uint(l.shoff, l.addr);
    auto shentsize = e.uint(l.shentsize, 2);
    auto shnumField = e.uint(l.shnum, 2);
    auto shstrndxField = e.uint(l.shstrndx, 2);
    if (!shoff || !shentsize || !shnumField || !shstrndxField || *shentsize < l.minEntry || *shoff == 0)
        return std::nullopt;
    quint64 shnum = *shnumField;
    quint64 shstrndx = *shstrndxField;
    // Extended numbering keeps the real counts in section 0.
    if (shnum == 0 || shstrndx == SHN_XINDEX) {
        auto zero = readSection(e, l, *shoff, *shentsize, 0);
        if (!zero)
            return std::nullopt;
        if (shnum == 0)
            shnum = zero->size;
        if (shstrndx == SHN_XINDEX)
            shstrndx = zero->link;
    }
    if (shnum == 0 || shstrndx >= shnum || shnum > e.size() / *shentsize)
        return std::nullopt;
    auto names = readSection(e, l, *shoff, *shentsize, shstrndx);
    if (!names || names->type == SHT_NOBITS || !e.has(names->offset, names->size))
        return std::nullopt;

    const quint64 wanted = std::strlen(SectionName) + 1;
    for (quint64 i = 0; i < shnum; ++i) {
        auto s = readSection(e, l, *shoff, *shentsize, i);
        if (!s)
            return std::nullopt;
        if (s->nameOffset >= names->size || names->size - s->nameOffset < wanted)
            continue;
        if (std::memcmp(e.at(names->offset + s->nameOffset), SectionName, wanted) != 0)
            continue;
        if (s->type == SHT_NOBITS || !e.has(s->offset, s->size))
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(e.at(s->offset)), qsizetype(s->size));
    }
    error = ENODATA;
    return std::nullopt;
}

class VersionResource {
public:
    explicit VersionResource(const QByteArray& section)
    {
        for (const QByteArray& entry : section.split('\0')) {
            const qsizetype eq = entry.indexOf('=');
            if (eq <= 0)
                continue;
            const QString key = QString::fromUtf8(entry.left(eq)).toCaseFolded();
            if (!values_.contains(key))
                values_.insert(key, QString::fromUtf8(entry.mid(eq + 1)));
        }
    }

    std::optional<QString> query(const QString& key) const
    {
        auto it = values_.constFind(key.toCaseFolded());
        if (it == values_.constEnd())
            return std::nullopt;
        return *it;
    }

private:
    QHash<QString, QString> values_;
};

VersionResource loadResource(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const int code = errno != 0 ? errno : ENOENT;
        throw dv::SystemError(code);
    }
    const qint64 size = file.size();
    if (size <= 0)
        throw dv::SystemError(ENOEXEC);
    uchar* mapped = file.map(0, size);
    QByteArray copy;
    const uchar* data = mapped;
    if (!mapped) { // not mappable (a pipe, a special file): read what is there
        copy = file.read(64 * 1024 * 1024);
        data = reinterpret_cast<const uchar*>(copy.constData());
    }
    int error = 0;
    const auto section = findVersionSection(Bytes(data, mapped ? quint64(size) : quint64(copy.size()), false), error);
    if (mapped)
        file.unmap(mapped);
    if (!section)
        throw dv::SystemError(error);
    return VersionResource(*section);
}

// The same resource from a file's contents already in memory.
VersionResource resourceOf(const QByteArray& contents)
{
    int error = 0;
    const auto section = findVersionSection(
        Bytes(reinterpret_cast<const uchar*>(contents.constData()), quint64(contents.size()), false), error);
    if (!section)
        throw dv::SystemError(error);
    return VersionResource(*section);
}

void readStrings(const VersionResource& resource, ExeVersionData& Data)
{
    // Only the first translation's table is read; a resource without one is an
    // error that carries no system code.
    const auto translation = resource.query(QStringLiteral("\\VarFileInfo\\Translation"));
    const QString first = translation ? translation->trimmed().section(QLatin1Char(' '), 0, 0) : QString();
    bool okLanguage = false;
    bool okCodePage = false;
    const uint language = first.left(4).toUInt(&okLanguage, 16);
    const uint codePage = first.mid(4, 4).toUInt(&okCodePage, 16);
    if (first.size() != 8 || !okLanguage || !okCodePage)
        throw dv::SystemError(0);
    const QString table = QStringLiteral("%1%2")
                              .arg(language, 4, 16, QLatin1Char('0'))
                              .arg(codePage, 4, 16, QLatin1Char('0'))
                              .toUpper();

    const std::pair<const char*, QString ExeVersionData::*> fields[] = {
        {"CompanyName", &ExeVersionData::CompanyName},
        {"FileDescription", &ExeVersionData::FileDescription},
        {"FileVersion", &ExeVersionData::FileVersion},
        {"InternalName", &ExeVersionData::InternalName},
        {"LegalCopyright", &ExeVersionData::LegalCopyright},
        {"LegalTrademarks", &ExeVersionData::LegalTrademarks},
        {"OriginalFileName", &ExeVersionData::OriginalFileName},
        {"ProductName", &ExeVersionData::ProductName},
        {"ProductVersion", &ExeVersionData::ProductVersion},
        {"Comments", &ExeVersionData::Comments},
        {"PrivateBuild", &ExeVersionData::PrivateBuild},
        {"SpecialBuild", &ExeVersionData::SpecialBuild},
    };
    for (const auto& [key, member] : fields) {
        if (auto value = resource.query(QStringLiteral("\\StringFileInfo\\%1\\%2").arg(table, QLatin1String(key))))
            Data.*member = *value;
    }
}

quint32 fixedFileVersion(const VersionResource& resource)
{
    const auto fixed = resource.query(QStringLiteral("FixedFileVersion"));
    if (!fixed || fixed->size() < 8)
        return 0xFFFFFFFFu;
    bool ok = false;
    const uint mostSignificant = fixed->left(8).toUInt(&ok, 16);
    return ok ? quint32(mostSignificant) : 0xFFFFFFFFu;
}

} // namespace

void readExeVersionData(const QString& FileName, ExeVersionData& Data)
{
    errno = 0;
    readStrings(loadResource(FileName), Data);
}

void readExeVersionDataFromBytes(const QByteArray& contents, ExeVersionData& Data)
{
    readStrings(resourceOf(contents), Data);
}

quint32 readFileVersion(const QString& FileName)
{
    try {
        return fixedFileVersion(loadResource(FileName));
    } catch (const dv::SystemError&) {
        return 0xFFFFFFFFu;
    }
}

quint32 readFileVersionFromBytes(const QByteArray& contents)
{
    try {
        return fixedFileVersion(resourceOf(contents));
    } catch (const dv::SystemError&) {
        return 0xFFFFFFFFu;
    }
}

QString formatVersion(quint32 fileVersion)
{
    return QStringLiteral("%1.%2").arg(fileVersion >> 16).arg(fileVersion & 0xFFFF);
}
