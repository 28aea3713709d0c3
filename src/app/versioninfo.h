#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

/// The twelve strings of a version resource; empty where the resource has none.
struct ExeVersionData {
    QString CompanyName;
    QString FileDescription;
    QString FileVersion;
    QString InternalName;
    QString LegalCopyright;
    QString LegalTrademarks;
    QString OriginalFileName;
    QString ProductName;
    QString ProductVersion;
    QString Comments;
    QString PrivateBuild;
    QString SpecialBuild;
};

/// Reads the version strings of the file at FileName into Data, from the string
/// table of the resource's first translation. A string the resource lacks leaves
/// its field as it was. Raises dv::SystemError when the file has no readable
/// version resource or no translation table; Data is then untouched.
void readExeVersionData(const QString& FileName, ExeVersionData& Data);

/// The most significant word of the file's fixed file version: major version in the
/// high 16 bits, minor in the low 16 bits. All bits set when there is none.
quint32 readFileVersion(const QString& FileName);

/// As readExeVersionData and readFileVersion, from a file's contents already in memory.
void readExeVersionDataFromBytes(const QByteArray& contents, ExeVersionData& Data);
quint32 readFileVersionFromBytes(const QByteArray& contents);

/// "%d.%d" of the high and low halves, as the program shows its version.
QString formatVersion(quint32 fileVersion);
