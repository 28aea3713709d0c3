#pragma once

#include <QApplication>

/// The application object. Any exception that escapes an event handler ends up
/// here and is shown by the default error dialog; the program then goes on.
class DorvantisApplication : public QApplication {
public:
    DorvantisApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
