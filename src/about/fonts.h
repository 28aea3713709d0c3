#pragma once

#include <QFont>
#include <QString>

namespace dv::about {

/// A window font by face and pixel height (pixels at 96 dpi; Qt scales them).
inline QFont pixelFont(int pixels, bool bold = false, const QString& family = QStringLiteral("Tahoma"))
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace dv::about
