// The list file: its bytes on load and save, and files that cannot be used.
#include "errorof.h"
#include "errors.h"
#include "listfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using dv::decodeListFile;
using dv::encodeListFile;

namespace {

QByteArray utf16le(const QString& s)
{
    return QByteArray(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QByteArray utf16be(const QString& s)
{
    QByteArray out;
    for (const QChar c : s) {
        out.append(char(c.unicode() >> 8));
        out.append(char(c.unicode() & 0xFF));
    }
    return out;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

using dv::test::errorOf;

} // namespace

class TestListFile : public QObject {
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void decodeAnyBytes_neverYieldsBreaksOrNuls();
    void encode_data();
    void encode();
    void saveThenLoad_givesSameEntriesAndExactBytes();
    void saveEmptyList_replacesFileWithZeroBytes();
    void loadUnusableFile_raisesErrorNamingFileAndReason_data();
    void loadUnusableFile_raisesErrorNamingFileAndReason();
    void loadListAtLineBound_givesEveryLine();
    void loadNamedPipe_failsWithoutWaitingForWriter();
    void saveToUnusablePath_raisesErrorAndLeavesItAlone_data();
    void saveToUnusablePath_raisesErrorAndLeavesItAlone();
};

void TestListFile::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    const QString eAcute = QStringLiteral("\u00e9");
    QTest::newRow("empty file gives no lines") << QByteArray() << QStringList();
    QTest::newRow("CR LF pairs, empty middle line kept")
        << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"};
    QTest::newRow("lone CR breaks") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("lone LF breaks") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("LF then CR is two breaks") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("last line without break kept") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("only a break is one empty line") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("two bare breaks are two empty lines") << QByteArray("\n\n") << QStringList{"", ""};
    QTest::newRow("spaces and tabs kept") << QByteArray(" a \t\r\n") << QStringList{" a \t"};
    QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\nd", 10) << QStringList{"a", "b"};
    QTest::newRow("NUL first gives nothing") << QByteArray("\0a\r\n", 4) << QStringList();
    QTest::newRow("UTF-8 without mark") << QByteArray("caf\xC3\xA9\r\n") << QStringList{"caf" + eAcute};
    QTest::newRow("UTF-8 mark dropped")
        << QByteArray("\xEF\xBB\xBF" "caf\xC3\xA9\r\nx") << QStringList{"caf" + eAcute, "x"};
    QTest::newRow("second UTF-8 mark is text")
        << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF" "a") << QStringList{QStringLiteral("\ufeffa")};
    QTest::newRow("UTF-16LE with mark")
        << QByteArray("\xFF\xFE") + utf16le(QStringLiteral("a\r\n\u0431\u00e9\r\n"))
        << QStringList{"a", QStringLiteral("\u0431\u00e9")};
    QTest::newRow("UTF-16BE with mark")
        << QByteArray("\xFE\xFF") + utf16be(QStringLiteral("a\rb\n\u20ac")) << QStringList{"a", "b", "\u20ac"};
    QTest::newRow("UTF-16LE with mark stops at NUL character")
        << QByteArray("\xFF\xFE") + utf16le(QStringLiteral("ab\nc")) + QByteArray(2, '\0') + utf16le("d")
        << QStringList{"ab", "c"};
    QTest::newRow("UTF-16LE without mark yields its first character")
        << utf16le(QStringLiteral("ab\r\n")) << QStringList{"a"};
    QTest::newRow("UTF-16LE with odd trailing byte keeps the rest")
        << QByteArray("\xFF\xFE") + utf16le("ab") + QByteArray("x") << QStringList{"ab" + QString(QChar(0xFFFD))};
    QTest::newRow("invalid UTF-8 read as Windows-1252")
        << QByteArray("caf\xE9\r\n\x80 \x93q\x94\r\n")
        << QStringList{"caf" + eAcute, QStringLiteral("\u20ac \u201cq\u201d")};
    QTest::newRow("Windows-1252 undefined byte kept as control character")
        << QByteArray("a\x81z") << QStringList{QStringLiteral("a\u0081z")};
    QTest::newRow("cut UTF-8 sequence read as Windows-1252")
        << QByteArray("a\xC3") << QStringList{QStringLiteral("a\u00c3")};
    QTest::newRow("invalid bytes after NUL do not change the encoding")
        << QByteArray("caf\xC3\xA9\0\xFF", 7) << QStringList{"caf" + eAcute};
}

void TestListFile::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    QCOMPARE(decodeListFile(bytes), lines);
}

void TestListFile::decodeAnyBytes_neverYieldsBreaksOrNuls()
{
    // Random files, often starting with a byte-order mark and rich in the bytes the
    // reader treats specially, must decode to lines that hold none of them.
    QRandomGenerator rng(20261210);
    const QByteArray prefixes[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB", "\xFF"};
    const char special[] = {'\r', '\n', '\0', '\xC3', '\xE9', '\x80', '\xFF', '\xFE', '\xD8', '\xDC'};
    for (int round = 0; round < 3000; ++round) {
        QByteArray bytes = prefixes[rng.bounded(int(std::size(prefixes)))];
        const int size = rng.bounded(200);
        for (int i = 0; i < size; ++i)
            bytes.append(rng.bounded(3) == 0 ? special[rng.bounded(int(std::size(special)))]
                                             : char(rng.bounded(256)));
        const QStringList lines = decodeListFile(bytes);
        QCOMPARE(dv::countListLines(dv::decodeListText(bytes)), lines.size());
        for (const QString& line : lines) {
            if (line.contains(u'\r') || line.contains(u'\n') || line.contains(QChar(u'\0')))
                QFAIL(qPrintable(QStringLiteral("round %1: a line holds a break or NUL; bytes %2")
                                     .arg(round)
                                     .arg(QString::fromLatin1(bytes.toHex()))));
        }
    }
}

void TestListFile::encode_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("two entries, CR LF after each") << QStringList{"a", "b"} << QByteArray("a\r\nb\r\n");
    QTest::newRow("empty list gives no bytes") << QStringList() << QByteArray();
    QTest::newRow("empty entries kept") << QStringList{"", ""} << QByteArray("\r\n\r\n");
    QTest::newRow("spaces kept, no mark")
        << QStringList{" x ", QStringLiteral("caf\u00e9")} << QByteArray(" x \r\ncaf\xC3\xA9\r\n");
}

void TestListFile::encode()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    QCOMPARE(encodeListFile(entries), bytes);
}

void TestListFile::saveThenLoad_givesSameEntriesAndExactBytes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    writeBytes(path, QByteArray("old content that is longer than the new one\r\n"));

    const QStringList entries{QStringLiteral("/home/u/pages/\u00e9t\u00e9 \u65e5\u672c.html"),
                              QString(),
                              QStringLiteral("http://127.0.0.1:8080/a?b=c&d"),
                              QStringLiteral("http://127.0.0.1:8080/a?b=c&d"),
                              QStringLiteral("  plain words  ")};
    dv::saveListFile(path, entries);
    QCOMPARE(readBytes(path), encodeListFile(entries));
    QVERIFY(readBytes(path).endsWith("  plain words  \r\n"));
    QCOMPARE(dv::loadListFile(path), entries);
}

void TestListFile::saveEmptyList_replacesFileWithZeroBytes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    writeBytes(path, QByteArray("a\r\nb\r\n"));
    dv::saveListFile(path, QStringList());
    QVERIFY(QFile::exists(path));
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(dv::loadListFile(path), QStringList());
}

void TestListFile::loadUnusableFile_raisesErrorNamingFileAndReason_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing") << "missing" << "No such file or directory";
    QTest::newRow("folder") << "folder" << "Is a directory";
    QTest::newRow("endless device") << "device" << "It is not a regular file";
    QTest::newRow("larger than the bound") << "huge" << "The file is larger than 64 MB";
    QTest::newRow("more lines than the bound") << "many lines" << "The file holds more than 1000000 lines";
    QTest::newRow("unreadable") << "unreadable" << "Permission denied";
}

void TestListFile::loadUnusableFile_raisesErrorNamingFileAndReason()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("list.txt"));
    if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("list.txt")));
    } else if (kind == "device") {
        path = QStringLiteral("/dev/zero");
    } else if (kind == "huge") {
        // Sparse: takes no disk space, but reading it whole would take the memory.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(dv::MaxListFileBytes + 1));
    } else if (kind == "many lines") {
        writeBytes(path, QByteArray(dv::MaxListFileLines, '\n') + "last");
    } else if (kind == "unreadable") {
        if (::geteuid() == 0)
            QSKIP("root reads any file");
        writeBytes(path, "a\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    }
    const QString message = errorOf([&] { dv::loadListFile(path); });
    QCOMPARE(message, QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
}

void TestListFile::loadListAtLineBound_givesEveryLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    writeBytes(path, QByteArray(dv::MaxListFileLines - 1, '\n') + "last");
    const QStringList lines = dv::loadListFile(path);
    QCOMPARE(lines.size(), dv::MaxListFileLines);
    QCOMPARE(lines.constLast(), QStringLiteral("last"));
}

void TestListFile::loadNamedPipe_failsWithoutWaitingForWriter()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pipe.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const QString message = errorOf([&] { dv::loadListFile(path); });
    QCOMPARE(message, QStringLiteral("Cannot open file \"%1\". It is not a regular file").arg(path));
}

void TestListFile::saveToUnusablePath_raisesErrorAndLeavesItAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing folder") << "missing folder" << QString();
    QTest::newRow("folder") << "folder" << "Is a directory";
    QTest::newRow("device") << "device" << "It is not a regular file";
    QTest::newRow("named pipe") << "pipe" << "It is not a regular file";
}

void TestListFile::saveToUnusablePath_raisesErrorAndLeavesItAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("list.txt"));
    if (kind == "missing folder")
        path = dir.filePath(QStringLiteral("no-such-folder/list.txt"));
    else if (kind == "folder")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("list.txt")));
    else if (kind == "device")
        path = QStringLiteral("/dev/null");
    else if (kind == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    struct stat before = {};
    const bool existed = ::stat(QFile::encodeName(path).constData(), &before) == 0;

    const QString message = errorOf([&] { dv::saveListFile(path, {QStringLiteral("a")}); });
    const QString head = QStringLiteral("Cannot create file \"%1\". ").arg(path);
    if (reason.isEmpty()) {
        QVERIFY2(message.startsWith(head) && message.size() > head.size(), qPrintable(message));
    } else {
        QCOMPARE(message, head + reason);
    }
    struct stat after = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after) == 0, existed);
    if (existed) {
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_mode, before.st_mode);
    }
}

QTEST_GUILESS_MAIN(TestListFile)
#include "tst_listfile.moc"
