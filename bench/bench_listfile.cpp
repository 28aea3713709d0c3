// How long a large page list takes to load: reading and decoding the list file,
// appending its lines to the list box and showing it, and saving it again.
// Usage: bench_listfile [megabytes] (default 10)
#include "pagelistbox.h"
#include "listfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int Rounds = 5;

// Web addresses and local paths in turn, some with accented names.
QByteArray makeList(qint64 bytes, bool windows1252)
{
    QByteArray out;
    out.reserve(bytes + 200);
    for (int i = 0; out.size() < bytes; ++i) {
        if (i % 2 == 0) {
            out += "http://127.0.0.1:8080/pages/section-" + QByteArray::number(i % 977) + "/page-"
                + QByteArray::number(i) + ".html\r\n";
        } else {
            out += "/home/user/Documents/R" + QByteArray(windows1252 ? "\xE9" : "\xC3\xA9") + "sum" + "/"
                + QByteArray::number(i) + "-caf" + QByteArray(windows1252 ? "\xE9" : "\xC3\xA9") + ".htm\r\n";
        }
    }
    return out;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void run(const QString& label, const QString& path)
{
    std::vector<double> load, show, save;
    qsizetype lines = 0;
    for (int round = 0; round < Rounds; ++round) {
        PageListBox list;
        list.resize(600, 400);
        list.show();
        QApplication::processEvents();

        QElapsedTimer t;
        t.start();
        const QStringList entries = dv::loadListFile(path);
        load.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        list.appendMany(entries);
        QApplication::processEvents();
        show.push_back(t.nsecsElapsed() / 1e6);
        lines = list.count();

        t.restart();
        dv::saveListFile(path + QStringLiteral(".saved"), list.entries());
        save.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("%-28s %9lld lines  read+decode %7.1f ms  append+show %7.1f ms  load total %7.1f ms  save %7.1f ms\n",
                qPrintable(label), static_cast<long long>(lines), median(load), median(show),
                median(load) + median(show), median(save));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 10;
    const qint64 bytes = qint64(megabytes) * 1024 * 1024;

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    std::printf("list file of %d MB; median of %d rounds\n", megabytes, Rounds);
    // Lists as users write them, then files that are no lists at all.
    QByteArray binary(bytes, Qt::Uninitialized);
    QRandomGenerator rng(1);
    for (char& c : binary)
        c = char(1 + rng.bounded(255)); // a NUL would end the text early
    const std::pair<QString, QByteArray> files[] = {
        {QStringLiteral("UTF-8"), makeList(bytes, false)},
        {QStringLiteral("Windows-1252 (fallback)"), makeList(bytes, true)},
        {QStringLiteral("binary, no NUL"), binary},
        {QStringLiteral("one line, no break"), QByteArray(bytes, 'x')},
    };
    int i = 0;
    for (const auto& [label, content] : files) {
        const QString path = dir.filePath(QStringLiteral("list%1.txt").arg(i++));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) < 0)
            return 1;
        f.close();
        run(label, path);
    }
    return 0;
}
