#pragma once

#include <QString>

// The application identity: set once while the main window is created, read-only
// afterwards. The update check reads them from its worker thread, which starts
// only after they are complete.
extern QString AppCompany;
extern QString AppProduct;
extern QString AppTitle;
extern QString AppVersion;

namespace dv {

/// The application title: the taskbar name and the default error dialog's caption.
inline constexpr const char* ApplicationTitle = "Dorvantis";

/// The maker's web host (optionally host:port). DORVANTIS_WEB_HOST in the
/// environment overrides the build's setting, for tests and staging services.
QString MakerHost();

/// scheme + "://" + MakerHost() + path, for example MakerUrl("https", "/php/check2.php").
QString MakerUrl(const QString& scheme, const QString& path);

} // namespace dv
