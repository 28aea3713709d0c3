#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace dv {

/// The largest list file that is read. A bigger file is refused with an error
/// instead of exhausting memory (a video chosen by mistake, a disk image).
inline constexpr qint64 MaxListFileBytes = qint64(64) * 1024 * 1024;

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
/// system's reason when it cannot be read.
QStringList loadListFile(const QString& path);

/// Writes the entries to a list file, replacing its content only once everything
/// is written. Raises dv::AppError naming the file and the system's reason.
void saveListFile(const QString& path, const QStringList& entries);

} // namespace dv
