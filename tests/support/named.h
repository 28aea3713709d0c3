#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace dv::test {

/// The descendant of parent with this object name and type, found the way an
/// inspector finds it. A missing one is a broken test, so it stops the test run.
template <class T>
T* named(const QObject& parent, const char* objectName)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(objectName));
    if (!found)
        qFatal("no %s named \"%s\" under \"%s\"", T::staticMetaObject.className(), objectName,
               qPrintable(parent.objectName()));
    return found;
}

} // namespace dv::test
