#pragma once
// The page the print benchmarks print: text, a list and a table, numbered so each
// printout shows which page it is, and on request a picture.
#include <QDir>
#include <QFile>
#include <QString>
#include <QTextStream>

namespace dv::bench
{

/// Writes page number i into dir as PREFIXi.html and returns its path; withPicture
/// adds a small embedded picture.
inline QString writeGeneratedPage(
    const QDir& dir, int i, const QString& prefix = QStringLiteral("page"), bool withPicture = false)
{
    const QString path = dir.filePath(QStringLiteral("%1%2.html").arg(prefix).arg(i));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QTextStream out(&file);
    out << "<!DOCTYPE html><html><head><title>Page " << i << "</title></head><body><h1>Page " << i << "</h1><p>"
        << (withPicture ? "A generated page with a paragraph of text, a list, a table and a picture."
                        : "A simple generated page with a paragraph of text, a list and a table.")
        << "</p><ul>";
    for (int k = 0; k < 10; ++k)
        out << "<li>Item " << k << "</li>";
    out << "</ul><table border=1><tr><th>a</th><th>b</th></tr><tr><td>1</td><td>2</td></tr></table>";
    if (withPicture)
        out << "<img width=40 height=40 src=\"data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAA"
               "DUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==\">";
    out << "</body></html>";
    return path;
}

} // namespace dv::bench
