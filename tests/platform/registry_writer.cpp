// Writes many values into a registry store file, for the test that runs two of these
// at once: registry_writer FILE PREFIX COUNT
#include "registry.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    dv::RegistryStore store(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        const bool ok = i % 2 ? store.setValue(QStringLiteral("Software\\Race"), prefix + QString::number(i), dv::RegValue::dword(quint32(i)))
                              : store.setValue(QStringLiteral("Software\\Race"), prefix + QString::number(i), dv::RegValue::text(QString::number(i)));
        if (!ok)
            return 1;
    }
    return 0;
}
