#pragma once

#include <QString>
#include <QStringList>

class QRegularExpression;

namespace dv {

/// The web-address pattern of the URL list dialog, compiled caseless. Classes and
/// \b stay ASCII-only (no Unicode properties), as the pattern was written for.
const QRegularExpression& urlPattern();

/// Appends every address found in one line of text to found, left to right, with
/// its letter case kept. A match loses at most one trailing "." and then at most
/// one trailing ")", so an address closing a sentence or a bracket comes out clean.
void findUrlsInLine(const QString& line, QStringList& found);

/// The lines of a text box: its text cut at line breaks (LF, CR LF or CR). A last
/// empty line, left by a final line break or an empty text, is not counted.
QStringList textLines(const QString& text);

} // namespace dv
