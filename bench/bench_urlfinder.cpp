// How long "Add" of the URL list dialog takes on large pasted text: a megabyte of
// prose with thousands of addresses, and single address lines of 100,000
// characters without a dot (the pattern's worst case: every start fails late).
// Usage: bench_urlfinder [rounds] (default 5); prints the median of the rounds.
#include "urllistdialog.h"
#include "named.h"
#include "pagelistbox.h"
#include "recording.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <vector>

using dv::test::named;


namespace {

// Mail-like prose with addresses in brackets, at sentence ends and in queries.
QString makeProse(qsizetype chars, int* addresses)
{
    QString out;
    out.reserve(chars + 300);
    int count = 0;
    for (int i = 0; out.size() < chars; ++i) {
        out += QStringLiteral("Dear reader, the report for week %1 is ready. ").arg(i);
        switch (i % 4) {
        case 0:
            out += QStringLiteral("See (https://www.example.com/reports/%1?id=%2&lang=en). ").arg(i % 97).arg(i);
            ++count;
            break;
        case 1:
            out += QStringLiteral("Mirror: http://192.168.0.%1/admin/page-%2.html and http://files.example.org/%2.\n")
                       .arg(i % 250)
                       .arg(i);
            count += 2;
            break;
        case 2:
            out += QStringLiteral("No address on this line, only www.example.net and ftp://example.com/x.\n");
            break;
        default:
            out += QStringLiteral("Best regards,\r\nHTTPS://Example.COM/Contact#form\n");
            ++count;
            break;
        }
    }
    *addresses = count;
    return out;
}

// One line of address characters (no dot) after a scheme.
QString noDotAddress(qsizetype chars)
{
    static const QString alphabet
        = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-@:%_+~#=");
    QString out = QStringLiteral("http://");
    while (out.size() < chars)
        out += alphabet.at(out.size() % alphabet.size());
    return out.left(chars);
}

// Scheme after scheme without a dot: the search restarts at every "http".
QString repeatedSchemes(qsizetype chars)
{
    QString out;
    while (out.size() < chars)
        out += QStringLiteral("https://www");
    return out.left(chars);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Figures {
    double ms = 0;
    int appended = 0;
    int messages = 0;
};

Figures timeAdd(const QString& text, bool detect, int rounds)
{
    std::vector<double> times;
    Figures f;
    for (int r = 0; r < rounds; ++r) {
        dv::test::RecordingDialogs dialogs;
        PageListBox list;
        UrlListDialog form(dialogs, &list);
        named<QPlainTextEdit>(form, "urlText")->setPlainText(text);
        named<QCheckBox>(form, "autoDetectCheck")->setChecked(detect);
        QElapsedTimer clock;
        clock.start();
        named<QPushButton>(form, "addButton")->click();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        f.appended = list.count();
        f.messages = int(dialogs.messages.size());
    }
    f.ms = median(times);
    return f;
}

void report(const char* what, qsizetype chars, const Figures& f)
{
    std::printf("%-52s %9lld chars  %8.1f ms  %6d entries  %d message(s)\n", what, static_cast<long long>(chars), f.ms,
                f.appended, f.messages);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    std::printf("\"Add\" of the URL list dialog, median of %d rounds (target: under 1000 ms each)\n", rounds);

    int expected = 0;
    const QString prose = makeProse(1 << 20, &expected);
    report("1 MB prose, auto-detect on", prose.size(), timeAdd(prose, true, rounds));
    std::printf("%-52s %9d addresses in the text\n", "", expected);
    report("1 MB prose, auto-detect off (lines as they are)", prose.size(), timeAdd(prose, false, rounds));

    const QString noDot = noDotAddress(100000);
    report("100,000-char address line, no dot", noDot.size(), timeAdd(noDot, true, rounds));
    const QString schemes = repeatedSchemes(100000);
    report("100,000-char line of repeated schemes, no dot", schemes.size(), timeAdd(schemes, true, rounds));
    return 0;
}
