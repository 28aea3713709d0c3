// The "Add URL List" dialog: finding addresses in pasted text, appending lines as
// they are, the message when nothing is found, and the ways to leave without adding.
#include "urllistdialog.h"
#include "named.h"
#include "mainwindow.h"
#include "errordialog.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

using dv::test::named;

namespace {

// Runs action on the URL list dialog once the modal loop has shown it.
void whenDialogOpens(const std::function<void(UrlListDialog&)>& action)
{
    auto* poll = new QTimer();
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<UrlListDialog*>(w); dialog && dialog->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(*dialog);
                return;
            }
        }
    });
    poll->start();
}

const QStringList noMessages;

} // namespace

class TestAddUrlDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void opening_showsExampleLinesWithDetectionOn();
    void add_appendsToPageList_data();
    void add_appendsToPageList();
    void add_showsBusyCursorOnlyWhileWorking_data();
    void add_showsBusyCursorOnlyWhileWorking();
    void leavingWithoutAdd_addsNothing_data();
    void leavingWithoutAdd_addsNothing();
    void enterInText_startsNewLine_enterOnCheckBox_adds();
    void mainWindow_reopensWithExamplesAfterCancel();

private:
    dv::test::RecordingDialogs dialogs_;
};

void TestAddUrlDialog::init()
{
    dialogs_.messages.clear();
    dialogs_.onMessage = nullptr;
    QVERIFY(!QApplication::overrideCursor());
}

void TestAddUrlDialog::opening_showsExampleLinesWithDetectionOn()
{
    PageListBox list;
    UrlListDialog form(dialogs_, &list);
    QCOMPARE(form.windowTitle(), QStringLiteral("Add URL List"));
    QCOMPARE(form.size(), QSize(318, 369));
    const QStringList lines = named<QPlainTextEdit>(form, "urlText")->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines, UrlListDialog::exampleLines());
    QCOMPARE(lines.at(0), QStringLiteral("http://www.127.0.0.1:9"));
    for (const QString& line : lines)
        QVERIFY2(line.startsWith(QStringLiteral("http://www.")), qPrintable(line));
    QVERIFY(named<QCheckBox>(form, "autoDetectCheck")->isChecked());
    QCOMPARE(named<QCheckBox>(form, "autoDetectCheck")->text(), QStringLiteral("Auto-detect URLs in text"));
    QCOMPARE(named<QPushButton>(form, "addButton")->text(), QStringLiteral("Add"));
    QVERIFY(named<QPushButton>(form, "addButton")->isDefault());
    QCOMPARE(named<QPushButton>(form, "cancelButton")->text(), QStringLiteral("Cancel"));
    QVERIFY(form.foundUrls().isEmpty());
}

void TestAddUrlDialog::add_appendsToPageList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("detect");
    QTest::addColumn<QStringList>("appended");
    QTest::addColumn<bool>("noUrlMessage");

    const QString examples = UrlListDialog::exampleLines().join(QLatin1Char('\n'));
    QTest::newRow("example lines give three identical entries") << examples << true << UrlListDialog::exampleLines() << false;
    QTest::newRow("bracket and full stop around an address")
        << QStringLiteral("See (http://example.org/page). Next") << true
        << QStringList{QStringLiteral("http://example.org/page")} << false;
    QTest::newRow("two addresses on a line keep their case and order")
        << QStringLiteral("Visit HTTPS://Example.COM, then http://example.net/x?y=1&z=2") << true
        << QStringList{QStringLiteral("HTTPS://Example.COM"), QStringLiteral("http://example.net/x?y=1&z=2")} << false;
    QTest::newRow("no scheme, other scheme or no dot: message")
        << QStringLiteral("www.example.com\nftp://example.com\nhttp://localhost/") << true << QStringList{} << true;
    QTest::newRow("numeric host unchanged")
        << QStringLiteral("http://192.168.0.1/admin") << true << QStringList{QStringLiteral("http://192.168.0.1/admin")}
        << false;
    QTest::newRow("same address twice on a line is appended twice")
        << QStringLiteral("http://example.com/a and again http://example.com/a") << true
        << QStringList{QStringLiteral("http://example.com/a"), QStringLiteral("http://example.com/a")} << false;
    QTest::newRow("address already listed is appended again")
        << QStringLiteral("http://already.test/") << true << QStringList{QStringLiteral("http://already.test/")}
        << false;
    QTest::newRow("bracket then full stop lose both")
        << QStringLiteral("(see http://example.org/a).") << true << QStringList{QStringLiteral("http://example.org/a")}
        << false;
    QTest::newRow("full stop then bracket lose only the bracket")
        << QStringLiteral("http://example.org/a.)") << true << QStringList{QStringLiteral("http://example.org/a.")}
        << false;
    QTest::newRow("addresses of several lines in text order")
        << QStringLiteral("first http://one.test\n\nnothing here\r\nhttp://two.test http://three.test\n") << true
        << QStringList{QStringLiteral("http://one.test"), QStringLiteral("http://two.test"),
                       QStringLiteral("http://three.test")}
        << false;
    QTest::newRow("empty text with detection on: message") << QString() << true << QStringList{} << true;
    QTest::newRow("detection off appends lines with the empty one")
        << QStringLiteral("a\n\nb\n") << false << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}
        << false;
    QTest::newRow("detection off keeps lines unchanged")
        << QStringLiteral("  See (http://example.org/page). \nwww.example.com") << false
        << QStringList{QStringLiteral("  See (http://example.org/page). "), QStringLiteral("www.example.com")} << false;
    QTest::newRow("detection off with empty text adds nothing and says nothing")
        << QString() << false << QStringList{} << false;
}

void TestAddUrlDialog::add_appendsToPageList()
{
    QFETCH(QString, text);
    QFETCH(bool, detect);
    QFETCH(QStringList, appended);
    QFETCH(bool, noUrlMessage);

    PageListBox list;
    list.appendOne(QStringLiteral("http://already.test/"));
    UrlListDialog form(dialogs_, &list);
    named<QPlainTextEdit>(form, "urlText")->setPlainText(text);
    named<QCheckBox>(form, "autoDetectCheck")->setChecked(detect);
    named<QPushButton>(form, "addButton")->click();

    QCOMPARE(list.entries(), QStringList{QStringLiteral("http://already.test/")} + appended);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(form.foundUrls().isEmpty());
    if (noUrlMessage) {
        QCOMPARE(dialogs_.messages.size(), 1);
        QCOMPARE(dialogs_.messages.at(0).text, QStringLiteral("No URL found!"));
        QCOMPARE(dialogs_.messages.at(0).caption, QStringLiteral("Auto-detect URLs"));
        QCOMPARE(dialogs_.messages.at(0).flags, int(dv::MB_ICONWARNING));
    } else {
        QVERIFY(dialogs_.messages.isEmpty());
    }
}

void TestAddUrlDialog::add_showsBusyCursorOnlyWhileWorking_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("detect");
    QTest::newRow("addresses found") << QStringLiteral("http://example.com") << true;
    QTest::newRow("no address found") << QStringLiteral("nothing") << true;
    QTest::newRow("lines as they are") << QStringLiteral("a\nb") << false;
}

void TestAddUrlDialog::add_showsBusyCursorOnlyWhileWorking()
{
    QFETCH(QString, text);
    QFETCH(bool, detect);

    PageListBox list;
    UrlListDialog form(dialogs_, &list);
    named<QPlainTextEdit>(form, "urlText")->setPlainText(text);
    named<QCheckBox>(form, "autoDetectCheck")->setChecked(detect);
    std::optional<Qt::CursorShape> whileAppending;
    connect(list.model(), &QAbstractItemModel::rowsInserted, this, [&] {
        whileAppending = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    std::optional<bool> busyDuringMessage;
    dialogs_.onMessage = [&](const dv::test::ShownMessage&) {
        busyDuringMessage = QApplication::overrideCursor() != nullptr;
    };

    named<QPushButton>(form, "addButton")->click();

    if (busyDuringMessage) {
        QVERIFY(!*busyDuringMessage);
        QVERIFY(!whileAppending);
    } else {
        QVERIFY(whileAppending);
        QCOMPARE(*whileAppending, Qt::WaitCursor);
    }
    QVERIFY(!QApplication::overrideCursor());
}

void TestAddUrlDialog::leavingWithoutAdd_addsNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << QStringLiteral("cancel");
    QTest::newRow("Esc in the text") << QStringLiteral("escape");
    QTest::newRow("Esc on the check box") << QStringLiteral("escape-checkbox");
    QTest::newRow("close box") << QStringLiteral("close");
}

void TestAddUrlDialog::leavingWithoutAdd_addsNothing()
{
    QFETCH(QString, how);

    PageListBox list;
    UrlListDialog form(dialogs_, &list);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    named<QPlainTextEdit>(form, "urlText")->setFocus();
    QTest::keyClicks(named<QPlainTextEdit>(form, "urlText"), QStringLiteral(" http://typed.test"));
    if (how == QLatin1String("cancel"))
        QTest::mouseClick(named<QPushButton>(form, "cancelButton"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(named<QPlainTextEdit>(form, "urlText"), Qt::Key_Escape);
    else if (how == QLatin1String("escape-checkbox"))
        QTest::keyClick(named<QCheckBox>(form, "autoDetectCheck"), Qt::Key_Escape);
    else
        form.close();

    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(list.count(), 0);
    QVERIFY(dialogs_.messages.isEmpty());
}

void TestAddUrlDialog::enterInText_startsNewLine_enterOnCheckBox_adds()
{
    PageListBox list;
    UrlListDialog form(dialogs_, &list);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    named<QPlainTextEdit>(form, "urlText")->setFocus();
    named<QPlainTextEdit>(form, "urlText")->moveCursor(QTextCursor::End);
    QTest::keyClick(named<QPlainTextEdit>(form, "urlText"), Qt::Key_Return);
    QVERIFY(form.isVisible());
    QCOMPARE(named<QPlainTextEdit>(form, "urlText")->toPlainText(), UrlListDialog::exampleLines().join(QLatin1Char('\n')) + QLatin1Char('\n'));

    named<QCheckBox>(form, "autoDetectCheck")->setFocus();
    QTest::keyClick(named<QCheckBox>(form, "autoDetectCheck"), Qt::Key_Return);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(list.entries(), UrlListDialog::exampleLines());
}

void TestAddUrlDialog::mainWindow_reopensWithExamplesAfterCancel()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    dv::test::RecordingShell shell;
    dv::RegistryStore registry(dir.filePath(QStringLiteral("registry.json")));
    dv::Services services{dialogs_, shell, registry};
    dv::installErrorDialogs(&dialogs_);
    AppParts parts;
    parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
    parts.pageSourceFactory = [](QWidget* parent) { return std::make_unique<dv::test::ScriptedPageSource>(parent); };
    MainWindow main(services, parts);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    // The button: typed text, then Cancel.
    bool firstSeen = false;
    whenDialogOpens([&](UrlListDialog& form) {
        firstSeen = named<QPlainTextEdit>(form, "urlText")->toPlainText() == UrlListDialog::exampleLines().join(QLatin1Char('\n'));
        named<QPlainTextEdit>(form, "urlText")->setPlainText(QStringLiteral("http://typed.test"));
        named<QPushButton>(form, "cancelButton")->click();
    });
    named<QPushButton>(main, "addUrlListButton")->click();
    QVERIFY(firstSeen);
    QCOMPARE(named<PageListBox>(main, "pageList")->count(), 0);

    // The menu item: a fresh dialog with the examples again, then Add.
    QString secondText;
    bool secondChecked = false;
    whenDialogOpens([&](UrlListDialog& form) {
        secondText = named<QPlainTextEdit>(form, "urlText")->toPlainText();
        secondChecked = named<QCheckBox>(form, "autoDetectCheck")->isChecked();
        named<QPushButton>(form, "addButton")->click();
    });
    named<QAction>(main, "addUrlListAction")->trigger();
    QCOMPARE(secondText, UrlListDialog::exampleLines().join(QLatin1Char('\n')));
    QVERIFY(secondChecked);
    QCOMPARE(named<PageListBox>(main, "pageList")->entries(), UrlListDialog::exampleLines());
    QVERIFY(dialogs_.messages.isEmpty());
    dv::installErrorDialogs(nullptr);
}

QTEST_MAIN(TestAddUrlDialog)
#include "tst_urllistdialog.moc"

