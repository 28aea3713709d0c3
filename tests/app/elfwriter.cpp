#include "elfwriter.h"

#include <elf.h>

namespace dv::test {

namespace {

class Writer {
public:
    explicit Writer(bool big) : big_(big) {}
    void put(quint64 v, int width)
    {
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (big_ ? width - 1 - i : i);
            bytes.append(char((v >> shift) & 0xFF));
        }
    }
    void pad(qsizetype to) { bytes.append(QByteArray(to - bytes.size(), '\0')); }
    QByteArray bytes;

private:
    bool big_;
};

} // namespace

QByteArray makeElf(const QList<QPair<QByteArray, QByteArray>>& sections, bool is64, bool bigEndian)
{
    const int addr = is64 ? 8 : 4;
    const int headerSize = is64 ? 64 : 52;
    const int entrySize = is64 ? 64 : 40;

    QByteArray names("\0", 1);
    QList<quint64> nameOffsets;
    for (const auto& s : sections) {
        nameOffsets << quint64(names.size());
        names += s.first + QByteArray("\0", 1);
    }
    const quint64 shstrName = quint64(names.size());
    names += QByteArray(".shstrtab\0", 10);

    // Layout: header, section contents, names, section headers.
    QList<quint64> offsets;
    quint64 at = quint64(headerSize);
    for (const auto& s : sections) {
        offsets << at;
        at += quint64(s.second.size());
    }
    const quint64 namesOffset = at;
    at += quint64(names.size());
    const quint64 shoff = (at + 7) & ~quint64(7);
    const int count = int(sections.size()) + 2;

    Writer w(bigEndian);
    w.bytes.append(ELFMAG, SELFMAG);
    w.bytes.append(char(is64 ? ELFCLASS64 : ELFCLASS32));
    w.bytes.append(char(bigEndian ? ELFDATA2MSB : ELFDATA2LSB));
    w.bytes.append(char(EV_CURRENT));
    w.pad(EI_NIDENT);
    w.put(ET_EXEC, 2);
    w.put(EM_X86_64, 2);
    w.put(EV_CURRENT, 4);
    w.put(0, addr); // entry
    w.put(0, addr); // phoff
    w.put(shoff, addr);
    w.put(0, 4); // flags
    w.put(quint64(headerSize), 2);
    w.put(0, 2); // phentsize
    w.put(0, 2); // phnum
    w.put(quint64(entrySize), 2);
    w.put(quint64(count), 2);
    w.put(quint64(count - 1), 2); // shstrndx
    for (const auto& s : sections)
        w.bytes += s.second;
    w.bytes += names;
    w.pad(qsizetype(shoff));

    auto header = [&](quint64 name, quint64 type, quint64 offset, quint64 size) {
        w.put(name, 4);
        w.put(type, 4);
        w.put(0, addr); // flags
        w.put(0, addr); // addr
        w.put(offset, addr);
        w.put(size, addr);
        w.put(0, 4); // link
        w.put(0, 4); // info
        w.put(1, addr); // addralign
        w.put(0, addr); // entsize
    };
    header(0, SHT_NULL, 0, 0);
    for (int i = 0; i < sections.size(); ++i)
        header(nameOffsets[i], SHT_PROGBITS, offsets[i], quint64(sections[i].second.size()));
    header(shstrName, SHT_STRTAB, namesOffset, quint64(names.size()));
    return w.bytes;
}

QByteArray versionSection(const QList<QByteArray>& entries)
{
    QByteArray out;
    for (const QByteArray& e : entries)
        out += e + QByteArray("\0", 1);
    return out;
}

} // namespace dv::test
