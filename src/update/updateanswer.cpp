#include "updateanswer.h"

#include "check.h"

namespace dv {

namespace {

// Trims what the user would not see: blanks and control characters.
QString trimmedOfControls(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

} // namespace

std::optional<UpdateAnswer> readUpdateAnswer(const QString& answer)
{
    const QStringList lines = AnswerLines(answer);
    if (!AnswerAccepted(answer, lines))
        return std::nullopt;
    UpdateAnswer result;
    result.version = TagValue(lines[0], QStringLiteral("version"));
    result.downloadUrl = TagValue(lines[1], QStringLiteral("url"));
    if (lines.size() > 5)
        result.important = TagValue(lines[5], QStringLiteral("important"));
    result.showImportant = !trimmedOfControls(result.important).isEmpty();
    return result;
}

bool announcesOtherVersion(const QString& newVersion, const QString& runningVersion)
{
    bool numeric = false;
    QString(newVersion).remove(QLatin1Char('.')).toInt(&numeric, 10);
    return newVersion != runningVersion && numeric;
}

} // namespace dv
