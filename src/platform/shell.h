#pragma once

#include <QString>
#include <QStringList>

namespace dv {

/// The desktop's shell: opening web pages and text files, starting programs. The
/// seam through which tests see what would have been opened or started.
class Shell {
public:
    virtual ~Shell() = default;

    /// Opens an address in the user's default web browser. Callers ignore failures.
    virtual bool openUrl(const QString& address) = 0;
    /// Opens a local text file in the desktop's default text viewer.
    virtual bool openTextFile(const QString& path) = 0;
    /// Starts a program as a detached process that outlives this one.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

/// The real shell: QDesktopServices and QProcess.
class DesktopShell : public Shell {
public:
    bool openUrl(const QString& address) override;
    bool openTextFile(const QString& path) override;
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace dv
