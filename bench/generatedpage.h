#pragma once
// The page the print benchmarks print: text, a list and a table, numbered so each
// printout shows which page it is.
#include <QDir>
#include <QFile>
#include <QString>
#include <QTextStream>

namespace dv::bench
{

/// Writes page number i into dir and returns its path.
inline QString writeGeneratedPage(const QDir& dir, int i)
{
    const QString path = dir.filePath(QStringLiteral("page%1.html").arg(i));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QTextStream out(&file);
    out << "<!DOCTYPE html><html><head><title>Page " << i << "</title></head><body><h1>Page " << i
        << "</h1><p>A simple generated page with a paragraph of text, a list and a table.</p><ul>";
    for (int k = 0; k < 10; ++k)
        out << "<li>Item " << k << "</li>";
    out << "</ul><table border=1><tr><th>a</th><th>b</th></tr><tr><td>1</td><td>2</td></tr></table></body></html>";
    return path;
}

} // namespace dv::bench
