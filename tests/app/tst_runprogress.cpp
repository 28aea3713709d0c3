// A print run from the command line, as --print-all drives it: a line as each
// entry starts and one saying how it ended, the closing message and the Error
// Log's lines, the exit status, and nothing written to the settings store.
// Driven through a scripted page source.
#include "commandline.h"
#include "commandlinerun.h"
#include "scriptedpagesource.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using dv::test::RecordingOutput;
using dv::test::ScriptedPageSource;

class TestRunProgress : public QObject {
    Q_OBJECT

private slots:
    void commandLineRun_reportsEachEntryAndHowItEnded_andStoresNothing()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        ScriptedPageSource* pages = nullptr;
        RecordingOutput* output = nullptr;
        QStringList lines;
        dv::CommandLineParts parts;
        parts.pageSourceFactory = [&pages] {
            auto source = std::make_unique<ScriptedPageSource>();
            source->failing = {QStringLiteral("bad")};
            source->unprintable = {QStringLiteral("broken")};
            pages = source.get();
            return source;
        };
        parts.outputFactory = [&output](const dv::PrintDestination&) {
            auto recording = std::make_unique<RecordingOutput>();
            output = recording.get();
            return recording;
        };
        parts.writeLine = [&lines](const QString& line) { lines << line; };
        dv::CommandLineRequest request;
        request.printAll = true;
        request.delaySeconds = 0;
        request.entries = QStringList {QStringLiteral("good"), QStringLiteral("bad"), QStringLiteral("broken")};

        QCOMPARE(dv::runPrintAll(request, parts), 1);
        QCOMPARE(lines,
            (QStringList {QStringLiteral("Page 1 of 3: good"), QStringLiteral("Page 1 of 3: printed"),
                QStringLiteral("Page 2 of 3: bad"), QStringLiteral("Page 2 of 3: navigate error"),
                QStringLiteral("Page 3 of 3: broken"), QStringLiteral("Page 3 of 3: print error"),
                QStringLiteral("Completed with errors!\nPlease check Error Log."),
                QStringLiteral("Navigate Error: bad"), QStringLiteral("Print Error: broken")}));
        // A page that failed to load still went to the printer, as the engine shows it.
        QCOMPARE(output->delivered.size(), size_t(2));
        QCOMPARE(output->finished, 1);
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("config"))));

        // Every page printed: status 0 and the closing message alone.
        lines.clear();
        request.entries = QStringList {QStringLiteral("good")};
        QCOMPARE(dv::runPrintAll(request, parts), 0);
        QCOMPARE(lines,
            (QStringList {QStringLiteral("Page 1 of 1: good"), QStringLiteral("Page 1 of 1: printed"),
                QStringLiteral("Successfully completed.")}));
    }
};

QTEST_MAIN(TestRunProgress)

#include "tst_runprogress.moc"
