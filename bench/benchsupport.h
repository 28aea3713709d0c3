#pragma once
// What the print benchmarks share: resident memory from /proc, and desktop
// services that answer at once so a run never waits for a person.
#include "dialogs.h"
#include "shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

namespace dv::bench
{

/// Resident memory in kB of one process.
inline qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

/// Resident memory in kB of the engine's helpers, which descend from this process
/// (some through a zygote).
inline qint64 descendantsResidentKb()
{
    QHash<qint64, qint64> parentOf;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        parentOf.insert(pid.toLongLong(), fields.value(1).toLongLong());
    }
    const qint64 self = QCoreApplication::applicationPid();
    qint64 total = 0;
    for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
        qint64 up = it.value();
        for (int depth = 0; up > 1 && up != self && depth < 16; ++depth)
            up = parentOf.value(up);
        if (up == self && it.key() != self)
            total += residentKb(it.key());
    }
    return total;
}

/// Answers every dialog at once, keeping the last message.
class SilentDialogs : public dv::Dialogs
{
public:
    void messageBox(QWidget*, const QString& text, const QString&, int) override { lastMessage = text; }
    bool askYesNo(QWidget*, const QString&) override { return false; }
    void beep() override { }
    QStringList getOpenFileNames(QWidget*, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString getSaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString lastMessage;
};

class NoShell : public dv::Shell
{
public:
    bool openUrl(const QString&) override { return false; }
    bool openTextFile(const QString&) override { return false; }
    bool startDetached(const QString&, const QStringList&) override { return false; }
};

} // namespace dv::bench
