// PDF outputs in hostile places: what --pdf refuses to replace (a device, a pipe,
// a link to nothing, another user's link in a shared sticky folder), links taking
// their names in a PDF folder, and a full disk's reason reaching the message.
#include "destination.h"
#include "errors.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using Kind = dv::PrintDestination::Kind;

namespace {

// A one-page PDF whose page carries filler bytes that do not compress.
QByteArray onePagePdf(int filler = 0)
{
    QByteArray noise(filler, '\0');
    for (char& c : noise)
        c = char(QRandomGenerator::global()->bounded(256));
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    auto object = [&](const QByteArray& body) {
        offsets << pdf.size();
        pdf += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
    object("<< /Length " + QByteArray::number(noise.size()) + " >>\nstream\n" + noise + "\nendstream");
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// One whole run of one printed page; the error that ended it, or nothing.
QString runOnePage(const dv::PrintDestination& destination, const QByteArray& pdf = onePagePdf())
{
    try {
        const std::unique_ptr<dv::RunOutput> output = dv::makeRunOutput(destination);
        output->open(1);
        output->startEntry(1);
        output->deliver({QStringLiteral("/pages/p.html"), QStringLiteral("Page"), pdf});
        output->finish();
        return {};
    } catch (const dv::AppError& e) {
        return e.message();
    }
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t typeOf(const QString& path)
{
    struct stat status { };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

bool makeDevice(const QString& path)
{
    // The same device as /dev/null.
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

} // namespace

class TestPdfOutputs : public QObject {
    Q_OBJECT

private slots:
    void pdfFile_refusesWhatIsNoRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("said"); // empty: written
        QTest::newRow("a device node") << QStringLiteral("device")
                                       << QStringLiteral("it is a device, not a regular file");
        QTest::newRow("a FIFO") << QStringLiteral("fifo") << QStringLiteral("it is a pipe, not a regular file");
        QTest::newRow("a folder") << QStringLiteral("folder") << QStringLiteral("it is a folder, not a regular file");
        QTest::newRow("a link to a FIFO")
            << QStringLiteral("link to fifo") << QStringLiteral("it is a pipe, not a regular file");
        QTest::newRow("a link to nothing")
            << QStringLiteral("dangling link") << QStringLiteral("which does not exist; it is not followed");
        QTest::newRow("a regular file") << QStringLiteral("file") << QString();
        QTest::newRow("a link to a regular file") << QStringLiteral("link to file") << QString();
    }

    void pdfFile_refusesWhatIsNoRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, said);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.pdf"));
        const QString other = dir.filePath(QStringLiteral("other"));
        const QByteArray old("old");
        auto write = [&old](const QString& file) {
            QFile f(file);
            return f.open(QIODevice::WriteOnly) && f.write(old) == old.size();
        };
        if (kind == QLatin1String("device") && !makeDevice(path))
            QSKIP("cannot make a device node here (mknod needs root, and a file system that allows it)");
        if (kind == QLatin1String("fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        if (kind == QLatin1String("link to fifo"))
            QVERIFY(::mkfifo(QFile::encodeName(other).constData(), 0600) == 0);
        if (kind == QLatin1String("file"))
            QVERIFY(write(path));
        if (kind == QLatin1String("link to file"))
            QVERIFY(write(other));
        if (kind.startsWith(QLatin1String("link")) || kind == QLatin1String("dangling link"))
            QVERIFY(QFile::link(other, path));
        const mode_t before = typeOf(path);

        const QString error = runOnePage({Kind::PdfFile, path});
        if (said.isEmpty()) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(contents(path).startsWith("%PDF"));
            QCOMPARE(typeOf(path), before); // a link stays a link; its file has the PDF
            return;
        }
        QVERIFY2(error.startsWith(QStringLiteral("The PDF file \"%1\" cannot be written: ").arg(path))
                && error.contains(said),
            qPrintable(error));
        QCOMPARE(typeOf(path), before);
    }

    // The kernel does not follow, for open(), a link in a sticky world-writable
    // folder that neither the follower nor the folder's owner made; nor does --pdf.
    void pdfFile_linkInASharedStickyFolder_data()
    {
        QTest::addColumn<uint>("linkOwner"); // 0: the test's own user
        QTest::addColumn<bool>("followed");
        QTest::newRow("another user's link") << 65534u << false;
        QTest::newRow("our own link") << 0u << true;
    }

    void pdfFile_linkInASharedStickyFolder()
    {
        QFETCH(uint, linkOwner);
        QFETCH(bool, followed);
        if (::geteuid() != 0)
            QSKIP("making a link another user owns needs root");
        QTemporaryDir dir;
        const QString shared = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkdir(shared));
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 01777) == 0);
        const QString victim = dir.filePath(QStringLiteral("root-owned.conf"));
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
        file.close();
        const QString path = shared + QStringLiteral("/nightly.pdf");
        QVERIFY(QFile::link(victim, path));
        QVERIFY(::lchown(QFile::encodeName(path).constData(), linkOwner, linkOwner) == 0);

        const QString error = runOnePage({Kind::PdfFile, path});
        if (followed) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(contents(victim).startsWith("%PDF"));
            return;
        }
        QVERIFY2(
            error.contains(QStringLiteral("a link that another user made in the shared folder")), qPrintable(error));
        QCOMPARE(contents(victim), QByteArray("keep me\n"));
        QCOMPARE(typeOf(path), mode_t(S_IFLNK));
    }

    // A link never decides where a page goes: its name is taken like any other.
    void pdfFolder_aLinkTakesItsName_data()
    {
        QTest::addColumn<QString>("target"); // relative to the test's folder
        QTest::newRow("a dangling link") << QStringLiteral("nowhere");
        QTest::newRow("a link to a file outside") << QStringLiteral("outside.txt");
        QTest::newRow("a link to a folder") << QStringLiteral(".");
    }

    void pdfFolder_aLinkTakesItsName()
    {
        QFETCH(QString, target);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkdir(folder));
        QFile outside(dir.filePath(QStringLiteral("outside.txt")));
        QVERIFY(outside.open(QIODevice::WriteOnly));
        outside.write("outside\n");
        outside.close();
        const QString link = folder + QStringLiteral("/001 - Page.pdf");
        QVERIFY(QFile::link(dir.filePath(target), link));

        const QString error = runOnePage({Kind::PdfFolder, folder});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(typeOf(link), mode_t(S_IFLNK));
        QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(dir.filePath(target)).absoluteFilePath());
        QVERIFY(contents(folder + QStringLiteral("/001 - Page (2).pdf")).startsWith("%PDF"));
        QCOMPARE(contents(dir.filePath(QStringLiteral("outside.txt"))), QByteArray("outside\n"));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("nowhere"))));
    }

    void fullDisk_saysTheSystemsReason_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("PDF folder") << int(Kind::PdfFolder);
        QTest::newRow("one PDF file") << int(Kind::PdfFile);
    }

    void fullDisk_saysTheSystemsReason()
    {
        QFETCH(int, kind);
        QTemporaryDir dir;
        const QString disk = dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkdir(disk));
        QProcess mount;
        mount.start(QStringLiteral("mount"),
            {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), QStringLiteral("size=64k"),
                QStringLiteral("tmpfs"), disk});
        if (!mount.waitForFinished(30000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs here (needs root and the right to mount): ")
                + QString::fromLocal8Bit(mount.readAllStandardError()).trimmed()));
        const auto unmount = qScopeGuard([&disk] { QProcess::execute(QStringLiteral("umount"), {disk}); });
        const QString target = Kind(kind) == Kind::PdfFolder ? disk : disk + QStringLiteral("/run.pdf");

        const QString error = runOnePage({Kind(kind), target}, onePagePdf(256 * 1024));
        QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
        // Nothing half-written is left behind.
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestPdfOutputs)

#include "tst_pdfoutputs.moc"
