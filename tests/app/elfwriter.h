#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace dv::test {

/// Builds a small ELF file with the given sections (name, contents), in either word
/// size and byte order: enough for a reader that walks section headers.
QByteArray makeElf(const QList<QPair<QByteArray, QByteArray>>& sections, bool is64 = true, bool bigEndian = false);

/// The version section's contents from "key=value" strings.
QByteArray versionSection(const QList<QByteArray>& entries);

} // namespace dv::test
