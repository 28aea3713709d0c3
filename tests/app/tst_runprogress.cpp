// A print run with nobody at the window, as --print-all drives it: a line as each
// entry starts and one saying how it ended, and nothing written to the settings
// store. Driven through a scripted browser.
#include "errordialog.h"
#include "mainwindow.h"
#include "recording.h"
#include "registry.h"
#include "scriptedbrowser.h"
#include "services.h"

#include <QTemporaryDir>
#include <QtTest>

using dv::test::RecordingDialogs;
using dv::test::RecordingShell;
using dv::test::ScriptedBrowser;

class TestRunProgress : public QObject {
    Q_OBJECT

private slots:
    void unattendedRun_reportsEachEntryAndHowItEnded_andStoresNothing()
    {
        QTemporaryDir dir;
        const QString store = dir.filePath(QStringLiteral("registry.json"));
        RecordingDialogs dialogs;
        RecordingShell shell;
        dv::RegistryStore registry(store);
        dv::Services services {dialogs, shell, registry};
        dv::installErrorDialogs(&dialogs);
        ScriptedBrowser* browser = nullptr;
        QStringList lines;
        AppParts parts;
        parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.unattended = true;
        parts.runProgress = [&lines](const QString& line) { lines << line; };
        parts.browserFactory = [&browser](QWidget* parent) {
            auto b = std::make_unique<ScriptedBrowser>(parent);
            browser = b.get();
            return b;
        };
        MainWindow window(services, parts);
        browser->failing = {QStringLiteral("bad")};
        browser->unprintable = {QStringLiteral("broken")};
        window.setDelaySeconds(0);
        window.appendEntries({QStringLiteral("good"), QStringLiteral("bad"), QStringLiteral("broken")});
        window.printAll();

        QCOMPARE(lines,
            (QStringList {QStringLiteral("Page 1 of 3: good"), QStringLiteral("Page 1 of 3: printed"),
                QStringLiteral("Page 2 of 3: bad"), QStringLiteral("Page 2 of 3: navigate error"),
                QStringLiteral("Page 3 of 3: broken"), QStringLiteral("Page 3 of 3: print error")}));
        QCOMPARE(window.errorLogLines(),
            (QStringList {QStringLiteral("Navigate Error: bad"), QStringLiteral("Print Error: broken")}));
        QCOMPARE(dialogs.messages.size(), 1);
        // Past the second in which the update check, the hint bar and the emulation
        // mark would have started.
        QTest::qWait(1500);
        QVERIFY(!QFileInfo::exists(store));
        QVERIFY(dialogs.questions.isEmpty());
        dv::installErrorDialogs(nullptr);
    }
};

QTEST_MAIN(TestRunProgress)

#include "tst_runprogress.moc"
