#include "application.h"

#include "errordialog.h"

DorvantisApplication::DorvantisApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool DorvantisApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        dv::showDefaultError(std::current_exception());
        return false;
    }
}
