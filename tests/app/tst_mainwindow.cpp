// The main window as the user first sees it, its identity, the timer that follows
// the page list, online help, and the default error dialog.
#include "mainwindow.h"
#include "named.h"
#include "application.h"
#include "errordialog.h"
#include "errors.h"
#include "helpname.h"
#include "identity.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"
#include "windowfixture.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using dv::test::named;

using dv::test::RecordingDialogs;
using dv::test::RecordingShell;
using dv::test::ScriptedPageSource;

namespace {

// One main window with recording services and a scripted browser, made from the
// given executable (whose version resource names the program).
struct Fixture : dv::test::ScriptedWindowFixture {
    explicit Fixture(const QString& executable = QStringLiteral(DV_EXECUTABLE_PATH))
        : ScriptedWindowFixture(partsFor(executable))
    {
    }
    static AppParts partsFor(const QString& executable)
    {
        AppParts parts;
        parts.executablePath = executable;
        return parts;
    }
};

// A widget whose event handler fails, as a key or drop handler might.
class FailingWidget : public QWidget {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw dv::AppError(QStringLiteral("The drop could not be read"));
        return QWidget::event(e);
    }
};

} // namespace

class TestAppForm : public QObject {
    Q_OBJECT

private slots:
    void startUp_showsTheDesignedLayoutAndIdentity()
    {
        Fixture f;
        MainWindow& w = *f.form;
        QCOMPARE(f.dialogs.messages.size(), 0);
        QCOMPARE(w.windowTitle(), QStringLiteral("KELMARO - Dorvantis"));
        QCOMPARE(AppTitle, QStringLiteral("KELMARO - Dorvantis"));
        QCOMPARE(AppCompany, QStringLiteral("KELMARO"));
        QCOMPARE(AppProduct, QStringLiteral("Dorvantis"));
        QCOMPARE(AppVersion, QStringLiteral("2.8"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Dorvantis"));

        // The Error Log page exists but its tab is not shown; the list tab is in front.
        const int log = named<QTabWidget>(w, "listTabs")->indexOf(named<QWidget>(w, "errorLogTab"));
        QVERIFY(log >= 0);
        QVERIFY(!named<QTabWidget>(w, "listTabs")->isTabVisible(log));
        QCOMPARE(named<QTabWidget>(w, "listTabs")->currentWidget(), named<QWidget>(w, "pageListTab"));
        QCOMPARE(named<QTabWidget>(w, "listTabs")->tabText(0), QStringLiteral("HTML List"));
        QCOMPARE(named<QTabWidget>(w, "browserTabs")->tabText(0), QStringLiteral("Internet Explorer"));

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(!named<QFrame>(w, "hintPanel")->isVisible());
        QVERIFY(!named<QTabWidget>(w, "browserTabs")->isVisible());
        QCOMPARE(named<QSpinBox>(w, "delaySpin")->value(), 2);
        QCOMPARE(named<QLabel>(w, "delayUnitLabel")->text(), QStringLiteral("(seconds)"));
        QVERIFY(!named<QPushButton>(w, "printPreviewButton")->isEnabled());
        QVERIFY(!named<QPushButton>(w, "printAllButton")->isEnabled());
        QVERIFY(named<QStatusBar>(w, "statusBar")->isVisible());
        QCOMPARE(named<QAction>(w, "onlineHelpAction")->shortcut(), QKeySequence(Qt::Key_F1));
        QVERIFY(named<QAction>(w, "updateNotificationsAction")->isChecked());
        QVERIFY(!named<QAction>(w, "updateNotificationsAction")->isEnabled());
        QVERIFY(w.pageSource());
        QCOMPARE(w.pageSource(), static_cast<dv::PageSource*>(f.browser));
        // The client area below the menu bar measures 714 x 402 at 96 dpi.
        if (qFuzzyCompare(w.devicePixelRatioF(), 1.0) && w.logicalDpiY() == 96) {
            QCOMPARE(w.width(), 714);
            QCOMPARE(w.height() - w.menuBar()->height(), 402);
            QVERIFY(w.menuBar()->height() > 0);
        }
        // The status bar lies below the delay panel.
        QVERIFY(named<QStatusBar>(w, "statusBar")->mapTo(&w, QPoint(0, 0)).y() >= named<QWidget>(w, "printPanel")->mapTo(&w, QPoint(0, named<QWidget>(w, "printPanel")->height())).y());

        // Icon-only tool buttons are named for screen readers by their hints.
        QCOMPARE(named<QToolButton>(w, "loadListButton")->accessibleName(), QStringLiteral("Load List From File..."));
        QCOMPARE(named<QToolButton>(w, "saveListButton")->accessibleName(), QStringLiteral("Save List Into File..."));
    }

    void missingVersionResource_reportsOnceAndStillCreatesTheBrowser()
    {
        QTemporaryDir dir;
        const QString plain = dir.filePath(QStringLiteral("plain"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("no resource here");
        file.close();

        Fixture f(plain);
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY(f.dialogs.messages[0].text.startsWith(QStringLiteral("System Error.  Code: ")));
        QCOMPARE(f.dialogs.messages[0].caption, QStringLiteral("Dorvantis"));
        QCOMPARE(f.dialogs.messages[0].flags, int(dv::MB_ICONERROR));
        QCOMPARE(AppVersion, QStringLiteral("65535.65535"));
        QCOMPARE(AppTitle, QStringLiteral(" - "));
        QVERIFY(f.form->pageSource());
    }

    void damagedSettingsFile_leavesTheProgramRunningWithDefaults()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.json"));
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("\x00\xff{\"keys\": [", 12));
        damaged.close();

        RecordingDialogs dialogs;
        RecordingShell shell;
        dv::RegistryStore registry(file);
        dv::Services services{dialogs, shell, registry};
        AppParts parts;
        parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.pageSourceFactory = [](QWidget* parent) { return std::make_unique<ScriptedPageSource>(parent); };
        MainWindow form(services, parts);
        form.show();
        // Start-up reads the emulation level and the update settings from the store.
        QTRY_VERIFY_WITH_TIMEOUT(named<QFrame>(form, "hintPanel")->isVisible(), 3000);
        QVERIFY(named<QAction>(form, "ie7Action")->isChecked()); // no stored level: the default
        QVERIFY(dialogs.messages.isEmpty());
    }

    void listFollowTimer_followsTheListWithinOneTick()
    {
        Fixture f;
        MainWindow& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy tick(named<QTimer>(w, "listFollowTimer"), &QTimer::timeout);

        named<PageListBox>(w, "pageList")->appendOne(QStringLiteral("page.html"));
        QVERIFY(tick.wait(500));
        QVERIFY(named<QTabWidget>(w, "browserTabs")->isVisible());
        QVERIFY(named<QSplitter>(w, "splitter")->handle(1)->isVisible());
        QVERIFY(named<QPushButton>(w, "printPreviewButton")->isEnabled());
        QVERIFY(named<QPushButton>(w, "printAllButton")->isEnabled());

        named<PageListBox>(w, "pageList")->clear();
        QVERIFY(tick.wait(500));
        QVERIFY(!named<QTabWidget>(w, "browserTabs")->isVisible());
        QVERIFY(!named<QSplitter>(w, "splitter")->handle(1)->isVisible());
        QVERIFY(!named<QPushButton>(w, "printPreviewButton")->isEnabled());
        QVERIFY(!named<QPushButton>(w, "printAllButton")->isEnabled());
    }

    void printMenuItems_doNothingWhileTheirButtonsAreDisabled()
    {
        Fixture f;
        MainWindow& w = *f.form;
        QTest::qWait(120);
        QVERIFY(!named<QPushButton>(w, "printAllButton")->isEnabled());
        named<QAction>(w, "printAllAction")->trigger();
        named<QAction>(w, "printPreviewAction")->trigger();
        QTest::qWait(50);
        QVERIFY(f.browser->navigations.isEmpty());
        QVERIFY(f.browser->printed.isEmpty());
        QVERIFY(f.previewed.isEmpty());
        QCOMPARE(f.dialogs.beeps, 0);
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void onlineHelp_opensTheProductsHelpPage()
    {
        Fixture f;
        named<QAction>(*f.form, "onlineHelpAction")->trigger();
        QCOMPARE(f.shell.openedUrls, QStringList{QStringLiteral("http://127.0.0.1:9/help/dorvantis/")});
        f.shell.succeed = false; // a shell that cannot open it reports nothing
        f.form->openOnlineHelp();
        QVERIFY(f.dialogs.messages.isEmpty());
    }

    void helpPageName_lowersAsciiCapitalsAndDashesSpaces_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("page");
        QTest::newRow("product") << "Dorvantis" << "dorvantis";
        QTest::newRow("spaces") << "Page Printer Pro" << "page-printer-pro";
        QTest::newRow("non-ASCII capital stays") << "Ärger Tool" << "Ärger-tool";
    }
    void helpPageName_lowersAsciiCapitalsAndDashesSpaces()
    {
        QFETCH(QString, product);
        QFETCH(QString, page);
        QCOMPARE(dv::HelpPageName(product), page);
    }

    void errorInTimer_isShownAndTheTimerKeepsFiring()
    {
        RecordingDialogs dialogs;
        dv::installErrorDialogs(&dialogs);
        QTimer timer;
        timer.setInterval(5);
        int fired = 0;
        QObject::connect(&timer, &QTimer::timeout, &timer, dv::guarded([&] {
            ++fired;
            throw dv::AppError(QStringLiteral("x"));
        }));
        timer.start();
        QTRY_VERIFY(fired >= 3);
        dv::installErrorDialogs(nullptr);
        QVERIFY(dialogs.messages.size() >= 3);
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("x."));
        QCOMPARE(dialogs.messages[0].caption, QStringLiteral("Dorvantis"));
        QCOMPARE(dialogs.messages[0].flags, int(dv::MB_ICONERROR));
    }

    void errorInEventHandler_reachesTheDefaultErrorDialog()
    {
        RecordingDialogs dialogs;
        dv::installErrorDialogs(&dialogs);
        FailingWidget widget;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&widget, &event);
        dv::installErrorDialogs(nullptr);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("The drop could not be read."));
    }
};

int main(int argc, char* argv[])
{
    DorvantisApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dorvantis"));
    TestAppForm test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"

