#include "helpname.h"

#include "identity.h"

namespace dv {

QString HelpPageName(const QString& product)
{
    QString name = product;
    for (QChar& c : name) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    }
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    return name;
}

QString HelpAddress(const QString& product)
{
    return MakerUrl(QStringLiteral("http"), QStringLiteral("/help/") + HelpPageName(product) + QLatin1Char('/'));
}

} // namespace dv
