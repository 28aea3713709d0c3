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
    // Caseless matching of UTF-16 text also folds two letters that are not ASCII onto
    // ASCII ones: U+017F (long s) onto s and U+212A (Kelvin sign) onto k, so
    // "http\u017f://" would pass for "https://". The pattern means ASCII letters:
    // it runs over a copy in which those two cannot match, and the addresses are
    // cut from the line itself.
    QString matchable = line; // shares the line's characters unless one is replaced
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line.at(i).unicode();
        if (c == 0x017F || c == 0x212A)
            matchable[i] = QChar::ReplacementCharacter;
    }
    QRegularExpressionMatchIterator it = urlPattern().globalMatch(matchable);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QString url = line.mid(match.capturedStart(0), match.capturedLength(0));
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
