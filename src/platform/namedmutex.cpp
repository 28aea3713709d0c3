#include "namedmutex.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace dv {

QString NamedMutex::pathFor(const QString& name)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    QString safe = name;
    safe.replace(QLatin1Char('/'), QLatin1Char('_'));
    return folder + QLatin1Char('/') + safe + QStringLiteral(".mutex");
}

NamedMutex::NamedMutex(const QString& name)
{
    const QByteArray path = QFile::encodeName(pathFor(name));
    fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0)
        ::flock(fd_, LOCK_SH); // shared: a second instance holds it too
}

NamedMutex::~NamedMutex()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool NamedMutex::isHeld(const QString& name)
{
    const QByteArray path = QFile::encodeName(pathFor(name));
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

} // namespace dv
