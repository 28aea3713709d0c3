#pragma once

#include <QString>

namespace dv {

/// The online help page's name: ASCII capitals lowered (others kept), spaces as "-".
QString HelpPageName(const QString& product);
/// "http://" + the maker's host + "/help/" + the page name + "/".
QString HelpAddress(const QString& product);

} // namespace dv
