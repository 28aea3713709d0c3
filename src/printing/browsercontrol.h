#pragma once

#include <QObject>
#include <QString>

namespace dv {

/// The embedded browser control: navigate, ready state, print, preview and the
/// navigation-error signal.
class BrowserControl : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~BrowserControl() override = default;

signals:
    void navigateError(const QString& url);
};

} // namespace dv
