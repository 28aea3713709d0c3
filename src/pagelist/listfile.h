#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace dv {

/// The largest list file that is read. A bigger file is refused with an error
/// instead of exhausting memory (a video chosen by mistake, a disk image).
inline constexpr qint64 MaxListFileBytes = qint64(64) * 1024 * 1024;

/// The most lines a list file may hold. Each line becomes a row of the list box,
/// and millions of rows take gigabytes and minutes to build.
inline constexpr qsizetype MaxListFileLines = 1000000;

/// The text of a list file, before it is cut into lines.
QString decodeListText(const QByteArray& bytes);

/// The lines of a list file's text.
QStringList splitListLines(QStringView text);

/// How many lines splitListLines gives for the text.
qsizetype countListLines(QStringView text);

/// Turns the bytes of a list file into its lines. A leading byte-order mark selects
/// UTF-8, UTF-16LE or UTF-16BE and is dropped; without one the bytes are read in the
/// locale's encoding, or as Windows-1252 when they are not valid in it. The text
/// ends at the first NUL; lines break at CR LF, lone CR and lone LF; a break at the
/// very end adds no empty line.
QStringList decodeListFile(const QByteArray& bytes);

/// The bytes of a list file: every entry followed by CR LF, in the locale's
/// encoding, without a byte-order mark. An empty list gives no bytes.
QByteArray encodeListFile(const QStringList& entries);

/// Reads a list file completely. Raises dv::AppError naming the file and the
/// system's reason when it cannot be read, and likewise for a file larger than
/// MaxListFileBytes or with more than MaxListFileLines lines.
QStringList loadListFile(const QString& path);

/// Writes the entries to a list file, replacing its content only once everything
/// is written. Raises dv::AppError naming the file and the system's reason.
void saveListFile(const QString& path, const QStringList& entries);

} // namespace dv
