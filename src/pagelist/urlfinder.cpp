#include "urlfinder.h"

#include <QRegularExpression>

namespace dv {

const QRegularExpression& urlPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(https?:\/\/(www\.)?[-a-zA-Z0-9@:%._\+~#=]{1,256}\.[a-zA-Z0-9()]{1,6}\b)"
                       R"(([-a-zA-Z0-9()@:%_\+.~#?&//=]*))"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

void findUrlsInLine(const QString& line, QStringList& found)
{
    QRegularExpressionMatchIterator it = urlPattern().globalMatch(line);
    while (it.hasNext()) {
        QString url = it.next().captured(0);
        if (url.endsWith(QLatin1Char('.')))
            url.chop(1);
        if (url.endsWith(QLatin1Char(')')))
            url.chop(1);
        found.append(url);
    }
}

QStringList textLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

} // namespace dv
