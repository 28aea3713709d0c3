#include "sending.h"

#include "identity.h"

#include <QRegularExpression>

namespace dv::about {

QString TrimControl(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

bool IsValidEmail(const QString& text)
{
    // Without Unicode properties the classes stay ASCII, so "é" is rejected.
    static const QRegularExpression pattern(
        QStringLiteral("^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\\.[a-zA-Z0-9-.]*[a-zA-Z0-9]+$"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() && match.capturedLength() > 0;
}

QString FeedbackText(Opinion opinion, const QString& memoText)
{
    QString feedback;
    if (opinion == Opinion::Like)
        feedback = QStringLiteral("I like it!\r");
    else if (opinion == Opinion::Dislike)
        feedback = QStringLiteral("I dislike it!\r");
    return feedback + TrimControl(memoText);
}

QStringList FeedbackFields(const QString& appTitle, const QString& appVersion, const QString& feedback,
    const QString& email)
{
    QStringList fields{
        QStringLiteral("cmd=feedback"),
        QStringLiteral("appname=") + appTitle,
        QStringLiteral("version=") + appVersion,
        QStringLiteral("feedback=") + feedback,
    };
    if (!email.isEmpty())
        fields << QStringLiteral("email=") + email;
    return fields;
}

bool IsReceivedAnswer(const QString& answer)
{
    return TrimControl(answer) == QLatin1String("OK");
}

bool DeliverFeedback(const FormPoster& post, const QStringList& fields)
{
    const QString path = QStringLiteral("/php/feedback.php");
    QString answer;
    try {
        answer = post(MakerUrl(QStringLiteral("https"), path), fields, FeedbackTimeoutMs);
    } catch (...) {
        // Whatever failed on the secure route, the plain one gets one try.
        try {
            answer = post(MakerUrl(QStringLiteral("http"), path), fields, FeedbackTimeoutMs);
        } catch (...) {
            return false;
        }
    }
    return IsReceivedAnswer(answer);
}

} // namespace dv::about
