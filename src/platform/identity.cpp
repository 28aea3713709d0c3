#include "identity.h"

#include <QtGlobal>

QString AppCompany;
QString AppProduct;
QString AppTitle;
QString AppVersion;

namespace dv {

QString MakerHost()
{
    const QString fromEnvironment = qEnvironmentVariable("DORVANTIS_WEB_HOST").trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral(DV_WEB_HOST);
}

QString MakerUrl(const QString& scheme, const QString& path)
{
    return scheme + QStringLiteral("://") + MakerHost() + path;
}

} // namespace dv
