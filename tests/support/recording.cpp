#include "recording.h"

namespace dv::test {

void RecordingDialogs::messageBox(QWidget*, const QString& text, const QString& caption, int flags)
{
    const ShownMessage m{text, caption, flags};
    messages << m;
    if (onMessage)
        onMessage(m);
}

bool RecordingDialogs::askYesNo(QWidget*, const QString& text)
{
    questions << text;
    return answerYes;
}

void RecordingDialogs::beep()
{
    ++beeps;
}

QStringList RecordingDialogs::getOpenFileNames(QWidget*, const QString& filter)
{
    filtersAsked << filter;
    return fileReplies.isEmpty() ? QStringList() : fileReplies.takeFirst();
}

QString RecordingDialogs::getOpenFileName(QWidget*, const QString& filter, const QString&)
{
    filtersAsked << filter;
    const QStringList reply = fileReplies.isEmpty() ? QStringList() : fileReplies.takeFirst();
    return reply.value(0);
}

QString RecordingDialogs::getSaveFileName(QWidget*, const QString& filter, const QString&)
{
    filtersAsked << filter;
    const QStringList reply = fileReplies.isEmpty() ? QStringList() : fileReplies.takeFirst();
    return reply.value(0);
}

QString RecordingDialogs::getExistingDirectory(QWidget*, const QString& startFolder)
{
    foldersAsked << startFolder;
    const QStringList reply = fileReplies.isEmpty() ? QStringList() : fileReplies.takeFirst();
    return reply.value(0);
}

bool RecordingShell::openUrl(const QString& address)
{
    openedUrls << address;
    return succeed;
}

bool RecordingShell::openTextFile(const QString& path)
{
    openedTextFiles << path;
    return succeed;
}

bool RecordingShell::startDetached(const QString& program, const QStringList& arguments)
{
    startedPrograms << (arguments.isEmpty() ? program : program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')));
    return succeed;
}

} // namespace dv::test
