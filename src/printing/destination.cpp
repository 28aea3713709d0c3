#include "destination.h"

#include "runengine.h"

#include "cupsjob.h"
#include "errors.h"
#include "pdfmerge.h"
#include "printinglog.h"
#include "registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace dv {

namespace {

// Value names under PrintingKey.
const QString PrintToValue = QStringLiteral("PrintTo");
const QString PrinterValue = QStringLiteral("Printer");
const QString PdfFolderValue = QStringLiteral("PdfFolder");
const QString PdfFileValue = QStringLiteral("PdfFile");
const QString OverlapValue = QStringLiteral("Overlap");
const QString PagesAtOnceValue = QStringLiteral("PagesAtOnce");

// What PrintToValue holds for each kind.
const std::pair<PrintDestination::Kind, QString> KindNames[] = {
    {PrintDestination::Kind::DefaultPrinter, QStringLiteral("default")},
    {PrintDestination::Kind::Printer, QStringLiteral("printer")},
    {PrintDestination::Kind::PdfFolder, QStringLiteral("folder")},
    {PrintDestination::Kind::PdfFile, QStringLiteral("file")},
};

QString key()
{
    return QString::fromLatin1(PrintingKey);
}

QString textValue(const RegistryStore& registry, const QString& name)
{
    const std::optional<RegValue> value = registry.queryValue(key(), name);
    if (!value || value->type != RegType::Sz)
        return {};
    return value->toText();
}

/// A CUPS destination: the named one, or the default one asked afresh for each page.
class PrinterOutput : public RunOutput {
public:
    explicit PrinterOutput(QString name)
        : name_(std::move(name))
    {
    }

    void open(qint64) override
    {
        // A named printer that is gone ends the run before its first page; the
        // default one is asked for with each page, as always. A scheduler that
        // does not answer ends it there either way.
        if (!name_.isEmpty())
            requirePrinter(name_);
        else
            requireAnsweringScheduler();
    }

    QString deliver(const PrintedPage& page) override
    {
        const QString destination = name_.isEmpty() ? defaultPrinterName() : name_;
        const int job = submitPdfJob(destination, page.address, page.pdf);
        qCDebug(lcPrinting) << "job" << job << "sent to" << destination << page.pdf.size() << "bytes";
        return QStringLiteral("%1-%2").arg(destination).arg(job);
    }

private:
    QString name_;
};

// The mode a new file gets: 0666 less the process's umask, read without changing it.
QFileDevice::Permissions newFilePermissions()
{
    uint umask = 022;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("Umask:"))
                umask = line.mid(6).trimmed().toUInt(nullptr, 8);
    }
    const uint mode = 0666 & ~umask;
    QFileDevice::Permissions permissions;
    const std::pair<uint, QFileDevice::Permission> bits[]
        = {{0400, QFileDevice::ReadOwner}, {0200, QFileDevice::WriteOwner}, {0040, QFileDevice::ReadGroup},
            {0020, QFileDevice::WriteGroup}, {0004, QFileDevice::ReadOther}, {0002, QFileDevice::WriteOther}};
    for (const auto& [bit, permission] : bits)
        if (mode & bit)
            permissions |= permission;
    return permissions;
}

// The system's reason for errno, such as "No space left on device".
QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of data to fd and makes it durable; the system's reason when that
// fails (a full disk, say), else nothing.
QString writeDurably(int fd, const QByteArray& data)
{
    const char* next = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, next, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return systemReason(n < 0 ? errno : ENOSPC);
        next += n;
        left -= n;
    }
    if (::fsync(fd) != 0)
        return systemReason(errno);
    return {};
}

// Whether something of any kind has the name: a file, a folder, a link, dangling or not.
bool nameTaken(const QString& path)
{
    struct stat status { };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 || errno != ENOENT;
}

QString kindOfFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    return QStringLiteral("not a regular file");
}

// Raises dv::AppError when the merged PDF may not go to path: something there that
// is not a regular file (writing "/dev/null" must not replace the device), a link
// to nothing, or a link another user made in a shared sticky folder such as /tmp
// (which the kernel would not follow for open() either).
void refuseUnsafePdfTarget(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat link { };
    if (::lstat(name.constData(), &link) != 0)
        return; // nothing there: a new file
    auto refuse = [&path](const QString& why) {
        return AppError(QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(path, why));
    };
    if (S_ISLNK(link.st_mode)) {
        const QString folder = QFileInfo(path).absolutePath();
        struct stat parent { };
        const bool shared = ::stat(QFile::encodeName(folder).constData(), &parent) == 0 && (parent.st_mode & S_ISVTX)
            && (parent.st_mode & S_IWOTH);
        if (shared && link.st_uid != ::geteuid() && link.st_uid != parent.st_uid)
            throw refuse(QStringLiteral("it is a link that another user made in the shared folder \"%1\"; it is "
                                        "not followed.")
                             .arg(folder));
    }
    struct stat target { };
    if (::stat(name.constData(), &target) != 0) {
        if (S_ISLNK(link.st_mode))
            throw refuse(QStringLiteral("it is a link to \"%1\", which does not exist; it is not followed.")
                             .arg(QFileInfo(path).symLinkTarget()));
        throw refuse(systemReason(errno));
    }
    if (!S_ISREG(target.st_mode))
        throw refuse(
            QStringLiteral("it is %1, not a regular file, and is not replaced.").arg(kindOfFile(target.st_mode)));
}

// Makes the folder when missing and proves a file can be created in it.
void requireWritableFolder(const QString& folder, const QString& what)
{
    if (!QDir().mkpath(folder))
        throw AppError(QStringLiteral("%1 cannot be written: the folder \"%2\" cannot be made.").arg(what, folder));
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".dorvantis-XXXXXX")));
    if (!probe.open())
        throw AppError(
            QStringLiteral("%1 cannot be written to the folder \"%2\": %3").arg(what, folder, probe.errorString()));
}

/// One PDF file per entry in a folder, never over a file that is there already.
class PdfFolderOutput : public RunOutput {
public:
    explicit PdfFolderOutput(QString folder)
        : folder_(std::move(folder))
    {
    }

    void open(qint64 entryCount) override
    {
        digits_ = std::max<int>(3, static_cast<int>(QString::number(entryCount).size()));
        requireWritableFolder(folder_, QStringLiteral("PDF files"));
    }

    QString deliver(const PrintedPage& page) override
    {
        if (entryFailed())
            return {};
        const QDir folder(folder_);
        // Written in full under a name of its own, then moved to the first free name:
        // a reader never sees half a file, and an existing file is never replaced.
        const QByteArray pdf = withDocumentInfo(page.pdf, page.title);
        QTemporaryFile file(folder.filePath(QStringLiteral(".dorvantis-XXXXXX.part")));
        const QString written = file.open() ? writeDurably(file.handle(), pdf) : file.errorString();
        if (!written.isEmpty())
            throw AppError(QStringLiteral("The PDF file of \"%1\" cannot be written to the folder \"%2\": %3")
                               .arg(page.address, folder_, written));
        file.setPermissions(newFilePermissions());
        constexpr int maxCopies = 10000;
        for (int copy = 1; copy <= maxCopies; ++copy) {
            const QString target = folder.filePath(pdfFileName(position(), digits_, page.title, copy));
            // A link takes its name, wherever it points: it never decides where a page goes.
            if (nameTaken(target))
                continue;
            // The move fails, rather than replaces, when the name was taken meanwhile.
            if (file.rename(target)) {
                file.setAutoRemove(false);
                qCDebug(lcPrinting) << "PDF written:" << target;
                return target;
            }
            if (!nameTaken(target))
                throw AppError(
                    QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(target, file.errorString()));
        }
        throw AppError(QStringLiteral("The folder \"%1\" holds too many PDF files named like \"%2\".")
                           .arg(folder_, pdfFileName(position(), digits_, page.title)));
    }

private:
    QString folder_;
    int digits_ = 3;
};

/// Every printed entry in one PDF file with a bookmark each, written when the run ends.
class PdfFileOutput : public RunOutput {
public:
    explicit PdfFileOutput(QString path)
        : path_(std::move(path))
    {
    }

    void open(qint64) override
    {
        requireWritableFolder(QFileInfo(path_).absolutePath(), QStringLiteral("The PDF file"));
        refuseUnsafePdfTarget(path_);
        QSaveFile probe(path_);
        if (!probe.open(QIODevice::WriteOnly))
            throw AppError(QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(path_, probe.errorString()));
        probe.cancelWriting();
    }

    QString deliver(const PrintedPage& page) override
    {
        if (entryFailed())
            return {};
        merger_.append(page.pdf, page.title);
        return path_;
    }

    void finish() override
    {
        // A run that printed nothing leaves the file as it was.
        if (merger_.documentCount() == 0)
            return;
        const QByteArray pdf = merger_.toPdf(QFileInfo(path_).completeBaseName());
        // Looked at again: the run took a while, and the place may have changed.
        refuseUnsafePdfTarget(path_);
        QSaveFile file(path_);
        if (!file.open(QIODevice::WriteOnly))
            throw AppError(QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(path_, file.errorString()));
        // Written past Qt's buffer, which reports a full disk as "Unknown error".
        if (const QString failed = writeDurably(file.handle(), pdf); !failed.isEmpty()) {
            file.cancelWriting();
            throw AppError(QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(path_, failed));
        }
        if (!file.commit())
            throw AppError(QStringLiteral("The PDF file \"%1\" cannot be written: %2").arg(path_, file.errorString()));
        qCDebug(lcPrinting) << "PDF written:" << path_ << merger_.pageCount() << "pages";
    }

private:
    QString path_;
    PdfMerger merger_;
};

} // namespace

bool overlapEnabled(const RegistryStore& registry)
{
    const std::optional<RegValue> value = registry.queryValue(key(), OverlapValue);
    return !value || value->type != RegType::Dword || value->data.size() != 4 || value->toDword() != 0;
}

int pagesAtOnce(const RegistryStore& registry)
{
    if (!overlapEnabled(registry))
        return 1;
    const std::optional<RegValue> value = registry.queryValue(key(), PagesAtOnceValue);
    if (!value || value->type != RegType::Dword || value->data.size() != 4)
        return DefaultPagesAtOnce;
    const quint32 pages = value->toDword();
    return pages >= 1 && pages <= quint32(MaxPagesAtOnce) ? int(pages) : DefaultPagesAtOnce;
}

bool savePagesAtOnce(RegistryStore& registry, int pages)
{
    return registry.setValue(key(), PagesAtOnceValue, RegValue::dword(quint32(pages)));
}

StoredDestination loadDestination(const RegistryStore& registry)
{
    StoredDestination stored;
    stored.pdfFolder = textValue(registry, PdfFolderValue);
    stored.pdfFile = textValue(registry, PdfFileValue);
    const QString kind = textValue(registry, PrintToValue);
    for (const auto& [k, name] : KindNames) {
        if (name != kind)
            continue;
        const QString target = k == PrintDestination::Kind::Printer ? textValue(registry, PrinterValue)
            : k == PrintDestination::Kind::PdfFolder                ? stored.pdfFolder
            : k == PrintDestination::Kind::PdfFile                  ? stored.pdfFile
                                                                    : QString();
        // A named destination without its name is no choice at all.
        if (k == PrintDestination::Kind::DefaultPrinter || !target.isEmpty())
            stored.chosen = {k, target};
    }
    return stored;
}

bool saveDestination(RegistryStore& registry, const StoredDestination& stored)
{
    QString kind;
    for (const auto& [k, name] : KindNames)
        if (k == stored.chosen.kind)
            kind = name;
    bool saved = registry.setValue(key(), PrintToValue, RegValue::text(kind));
    if (stored.chosen.kind == PrintDestination::Kind::Printer)
        saved = registry.setValue(key(), PrinterValue, RegValue::text(stored.chosen.target)) && saved;
    if (!stored.pdfFolder.isEmpty())
        saved = registry.setValue(key(), PdfFolderValue, RegValue::text(stored.pdfFolder)) && saved;
    if (!stored.pdfFile.isEmpty())
        saved = registry.setValue(key(), PdfFileValue, RegValue::text(stored.pdfFile)) && saved;
    return saved;
}

QString titleForPage(const QString& engineTitle, const QUrl& url, const QString& address)
{
    const QString title = engineTitle.simplified();
    // Without a title of its own the engine names a page by its address, in one form or another.
    const QString forms[] = {url.toString(), url.toDisplayString(),
        url.toDisplayString(QUrl::RemoveScheme | QUrl::StripTrailingSlash).mid(2), url.toLocalFile(), url.fileName(),
        address.trimmed()};
    bool ownTitle = !title.isEmpty();
    for (const QString& form : forms)
        if (!form.isEmpty() && title == form)
            ownTitle = false;
    if (ownTitle)
        return title;
    const QString fileName = url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.fileName();
    if (!fileName.isEmpty())
        return fileName;
    if (!url.host().isEmpty())
        return url.host();
    return address.simplified();
}

QString pdfFileName(qint64 position, int digits, const QString& title, int copy)
{
    constexpr qsizetype maxBytes = 200;
    const QString prefix = QStringLiteral("%1 - ").arg(position, digits, 10, QLatin1Char('0'));
    const QString suffix = (copy > 1 ? QStringLiteral(" (%1)").arg(copy) : QString()) + QStringLiteral(".pdf");
    qsizetype budget = maxBytes - prefix.toUtf8().size() - suffix.toUtf8().size();

    // Control characters become spaces; what Windows and FAT refuse (as they would
    // when the files are copied or mailed on) becomes "_".
    const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString cleaned;
    for (const char32_t c : title.toUcs4()) {
        if (c < 0x20 || c == 0x7f)
            cleaned += QLatin1Char(' ');
        else if (c < 0x80 && refused.contains(QLatin1Char(char(c))))
            cleaned += QLatin1Char('_');
        else
            cleaned += QString::fromUcs4(&c, 1);
    }
    cleaned = cleaned.simplified();

    QString kept;
    for (const char32_t c : cleaned.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        budget -= character.toUtf8().size();
        if (budget < 0)
            break;
        kept += character;
    }
    // Trailing dots and spaces vanish on some systems: leave none.
    while (!kept.isEmpty() && (kept.endsWith(QLatin1Char('.')) || kept.endsWith(QLatin1Char(' '))))
        kept.chop(1);
    if (kept.isEmpty())
        kept = QStringLiteral("page");
    return prefix + kept + suffix;
}

std::unique_ptr<RunOutput> makeRunOutput(const PrintDestination& destination)
{
    switch (destination.kind) {
    case PrintDestination::Kind::Printer:
        return std::make_unique<PrinterOutput>(destination.target);
    case PrintDestination::Kind::PdfFolder:
        return std::make_unique<PdfFolderOutput>(destination.target);
    case PrintDestination::Kind::PdfFile:
        return std::make_unique<PdfFileOutput>(destination.target);
    case PrintDestination::Kind::DefaultPrinter:
        break;
    }
    return std::make_unique<PrinterOutput>(QString());
}

} // namespace dv
