#include "shell.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace dv {

bool DesktopShell::openUrl(const QString& address)
{
    return QDesktopServices::openUrl(QUrl(address, QUrl::TolerantMode));
}

bool DesktopShell::openTextFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopShell::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace dv
