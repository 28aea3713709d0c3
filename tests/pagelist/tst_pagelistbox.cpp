// The page list in the main window: adding files, loading and saving the list,
// drops from a file manager, the Delete key, the context menu and double-click.
#include "mainwindow.h"
#include "named.h"
#include "dialogs.h"
#include "errordialog.h"
#include "errors.h"
#include "pagelistbox.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QtTest>

using dv::test::named;


namespace {

// One main window with recording services and a scripted browser.
struct Fixture : dv::test::ScriptedWindowFixture {
    Fixture() { list = named<PageListBox>(*form, "pageList"); }

    QString path(const QString& name) const { return dir.filePath(name); }

    void writeFile(const QString& name, const QByteArray& bytes = QByteArray("<p>x</p>")) const
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    // Selects exactly the given rows, the way Ctrl+click does.
    void select(const QList<int>& rows) const
    {
        list->clearSelection();
        for (int row : rows)
            list->item(row)->setSelected(true);
    }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const auto& m : dialogs.messages)
            out << m.text;
        return out;
    }

    PageListBox* list = nullptr;
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Drags the URLs over the list and drops them, as a file manager does. Returns
// whether the list accepted the drag and the drop.
bool dropOnList(PageListBox* list, const QList<QUrl>& urls, const QString& plainText = QString())
{
    QMimeData mime;
    if (!urls.isEmpty())
        mime.setUrls(urls);
    if (!plainText.isEmpty())
        mime.setText(plainText);
    QWidget* target = list->viewport();
    const QPoint at(5, 5);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    if (!drop.isAccepted() || drop.dropAction() != Qt::CopyAction)
        return false;
    // The names are handled once the drop is over.
    QCoreApplication::processEvents();
    return true;
}

void doubleClickAt(PageListBox* list, const QPoint& at)
{
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

} // namespace

class TestListBox : public QObject {
    Q_OBJECT

private slots:
    void addHtmlFiles_appendsChosenPathsInDialogOrder_data();
    void addHtmlFiles_appendsChosenPathsInDialogOrder();
    void addHtmlFilesCancelled_changesNothing();
    void loadList_appendsItsLinesAfterTheEntriesEveryTime();
    void loadUnreadableList_showsErrorAndKeepsList();
    void saveList_writesEveryEntryWithCrLf();
    void saveToMissingFolder_showsErrorAndKeepsList();
    void loadAndSaveCancelled_changeNothing();
    void drop_appendsFilesInOrderAndRefusesOthersOneMessageEach_data();
    void drop_appendsFilesInOrderAndRefusesOthersOneMessageEach();
    void dropWithFailingMessage_goesOnWithNextName();
    void dragWithoutLocalFiles_isRefused();
    void deleteKeyWithAnyModifiers_deletesSelection_data();
    void deleteKeyWithAnyModifiers_deletesSelection();
    void deleteKeyWithoutSelection_changesNothing();
    void otherKeys_keepTheirUsualEffect();
    void deleteSelected_removesExactlyTheSelectedEntries_data();
    void deleteSelected_removesExactlyTheSelectedEntries();
    void deleteAll_emptiesListWithoutAskingAndPrintingTurnsOff();
    void hugeEntry_isShownCutButKeptWhole();
    void doubleClick_loadsCaretEntryUnchanged();
    void doubleClickOnEmptyList_doesNothing();
    void doubleClickWithFailingNavigation_showsError();
};

void TestListBox::addHtmlFiles_appendsChosenPathsInDialogOrder_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("button") << false;
    QTest::newRow("File menu") << true;
}

void TestListBox::addHtmlFiles_appendsChosenPathsInDialogOrder()
{
    QFETCH(bool, fromMenu);
    Fixture f;
    f.list->appendOne(QStringLiteral("/srv/first.html"));
    const QStringList chosen{QStringLiteral("/srv/z page.html"), QStringLiteral("/srv/a.htm"),
                             QStringLiteral("/srv/first.html")};
    f.dialogs.fileReplies << chosen;
    if (fromMenu)
        named<QAction>(*f.form, "addFilesAction")->trigger();
    else
        named<QPushButton>(*f.form, "addFilesButton")->click();
    QCOMPARE(f.dialogs.filtersAsked, QStringList{QStringLiteral("HTML Files|*.htm*")});
    QCOMPARE(f.list->entries(), QStringList{QStringLiteral("/srv/first.html")} + chosen);
}

void TestListBox::addHtmlFilesCancelled_changesNothing()
{
    Fixture f;
    f.list->appendOne(QStringLiteral("kept"));
    named<QPushButton>(*f.form, "addFilesButton")->click(); // no reply queued: Cancel
    QCOMPARE(f.list->entries(), QStringList{QStringLiteral("kept")});
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::loadList_appendsItsLinesAfterTheEntriesEveryTime()
{
    Fixture f;
    f.writeFile(QStringLiteral("list.txt"), QByteArray("a\r\n\r\nb\r\n"));
    f.list->appendOne(QStringLiteral("x"));
    f.dialogs.fileReplies << QStringList{f.path(QStringLiteral("list.txt"))}
                          << QStringList{f.path(QStringLiteral("list.txt"))};
    named<QToolButton>(*f.form, "loadListButton")->click();
    named<QToolButton>(*f.form, "loadListButton")->click();
    QCOMPARE(f.list->entries(), (QStringList{"x", "a", "", "b", "a", "", "b"}));
    QCOMPARE(f.dialogs.filtersAsked.value(0), QStringLiteral("Text Files (*.txt)|*.txt|Any Files (*.*)|*.*"));
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::loadUnreadableList_showsErrorAndKeepsList()
{
    Fixture f;
    f.list->appendMany({QStringLiteral("a"), QStringLiteral("b")});
    const QString missing = f.path(QStringLiteral("gone.txt"));
    f.dialogs.fileReplies << QStringList{missing};
    named<QToolButton>(*f.form, "loadListButton")->click();
    QCOMPARE(f.dialogs.messages.size(), 1);
    const auto& shown = f.dialogs.messages.constFirst();
    QCOMPARE(shown.flags, int(dv::MB_ICONERROR));
    QCOMPARE(shown.text, QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(missing));
    QCOMPARE(f.list->entries(), (QStringList{"a", "b"}));
}

void TestListBox::saveList_writesEveryEntryWithCrLf()
{
    Fixture f;
    const QString target = f.path(QStringLiteral("saved.txt"));
    f.writeFile(QStringLiteral("saved.txt"), QByteArray("older and longer content\r\n"));
    f.list->appendMany({QStringLiteral("a"), QString(), QStringLiteral("b")});
    f.dialogs.fileReplies << QStringList{target};
    named<QToolButton>(*f.form, "saveListButton")->click();
    QCOMPARE(f.dialogs.filtersAsked, QStringList{QStringLiteral("Text File (*.txt)|*.txt")});
    QCOMPARE(fileBytes(target), QByteArray("a\r\n\r\nb\r\n"));

    named<QAction>(*f.form, "deleteAllAction")->trigger();
    f.dialogs.fileReplies << QStringList{target};
    named<QToolButton>(*f.form, "saveListButton")->click();
    QCOMPARE(fileBytes(target), QByteArray());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::saveToMissingFolder_showsErrorAndKeepsList()
{
    Fixture f;
    f.list->appendMany({QStringLiteral("a"), QStringLiteral("b")});
    const QString target = f.path(QStringLiteral("no-such-folder/saved.txt"));
    f.dialogs.fileReplies << QStringList{target};
    named<QToolButton>(*f.form, "saveListButton")->click();
    QCOMPARE(f.dialogs.messages.size(), 1);
    QCOMPARE(f.dialogs.messages.constFirst().flags, int(dv::MB_ICONERROR));
    QVERIFY2(f.dialogs.messages.constFirst().text.startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(target)),
             qPrintable(f.dialogs.messages.constFirst().text));
    QVERIFY(!QFile::exists(target));
    QCOMPARE(f.list->entries(), (QStringList{"a", "b"}));
}

void TestListBox::loadAndSaveCancelled_changeNothing()
{
    Fixture f;
    f.list->appendOne(QStringLiteral("a"));
    named<QToolButton>(*f.form, "loadListButton")->click();
    named<QToolButton>(*f.form, "saveListButton")->click();
    QCOMPARE(f.dialogs.filtersAsked.size(), 2);
    QCOMPARE(f.list->entries(), QStringList{QStringLiteral("a")});
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::drop_appendsFilesInOrderAndRefusesOthersOneMessageEach_data()
{
    // Names are relative to the test folder, which holds: b.html, a.html, doc.pdf,
    // folder/, link-to-a (a link to a.html), dangling (a link to nothing) and a
    // file more than 259 characters deep.
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("appended");
    QTest::addColumn<QStringList>("refused");

    QTest::newRow("two files and a folder")
        << QStringList{"b.html", "folder", "a.html"} << QStringList{"b.html", "a.html"} << QStringList{"folder"};
    QTest::newRow("same file twice") << QStringList{"a.html", "a.html"} << QStringList{"a.html", "a.html"}
                                     << QStringList();
    QTest::newRow("any extension") << QStringList{"doc.pdf"} << QStringList{"doc.pdf"} << QStringList();
    QTest::newRow("link to a file") << QStringList{"link-to-a"} << QStringList{"link-to-a"} << QStringList();
    QTest::newRow("dangling link and missing name")
        << QStringList{"dangling", "a.html", "missing.html"} << QStringList{"a.html"}
        << QStringList{"dangling", "missing.html"};
    QTest::newRow("path longer than 259 characters")
        << QStringList{"long"} << QStringList{"long"} << QStringList();
}

void TestListBox::drop_appendsFilesInOrderAndRefusesOthersOneMessageEach()
{
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, appended);
    QFETCH(QStringList, refused);
    Fixture f;
    f.writeFile(QStringLiteral("b.html"));
    f.writeFile(QStringLiteral("a.html"));
    f.writeFile(QStringLiteral("doc.pdf"), QByteArray("%PDF-1.4"));
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QFile::link(f.path(QStringLiteral("a.html")), f.path(QStringLiteral("link-to-a"))));
    QVERIFY(QFile::link(f.path(QStringLiteral("nothing-here")), f.path(QStringLiteral("dangling"))));
    QString deep = QString(60, QLatin1Char('d'));
    deep = deep + "/" + deep + "/" + deep + "/" + deep + "/" + deep;
    QVERIFY(QDir(f.dir.path()).mkpath(deep));
    const QString longName = deep + QStringLiteral("/page.html");
    f.writeFile(longName);
    QVERIFY(f.path(longName).size() > 259);

    auto full = [&](const QStringList& names) {
        QStringList out;
        for (const QString& n : names)
            out << f.path(n == QLatin1String("long") ? longName : n);
        return out;
    };
    f.list->appendOne(QStringLiteral("existing"));

    QList<QUrl> urls;
    for (const QString& p : full(dropped))
        urls << QUrl::fromLocalFile(p);
    QVERIFY(dropOnList(f.list, urls));

    QCOMPARE(f.list->entries(), QStringList{QStringLiteral("existing")} + full(appended));
    QStringList expected;
    for (const QString& p : full(refused))
        expected << QStringLiteral("Not valid file: ") + p;
    QCOMPARE(f.messageTexts(), expected);
    for (const auto& m : f.dialogs.messages) {
        QCOMPARE(m.caption, QStringLiteral("Error"));
        QCOMPARE(m.flags, int(dv::MB_ICONERROR));
    }
}

void TestListBox::dropWithFailingMessage_goesOnWithNextName()
{
    Fixture f;
    f.writeFile(QStringLiteral("a.html"));
    f.dialogs.onMessage = [](const dv::test::ShownMessage&) {
        throw dv::AppError(QStringLiteral("the message box failed"));
    };
    QVERIFY(dropOnList(f.list, {QUrl::fromLocalFile(f.path(QStringLiteral("missing-1"))),
                                QUrl::fromLocalFile(f.path(QStringLiteral("missing-2"))),
                                QUrl::fromLocalFile(f.path(QStringLiteral("a.html")))}));
    QCOMPARE(f.dialogs.messages.size(), 2);
    QCOMPARE(f.list->entries(), QStringList{f.path(QStringLiteral("a.html"))});
}

void TestListBox::dragWithoutLocalFiles_isRefused()
{
    Fixture f;
    QVERIFY(!dropOnList(f.list, {}, QStringLiteral("http://127.0.0.1/page.html")));
    QVERIFY(!dropOnList(f.list, {QUrl(QStringLiteral("http://127.0.0.1/page.html"))}));
    QCOMPARE(f.list->count(), 0);
    QVERIFY(f.dialogs.messages.isEmpty());
    // Only the list takes drops, not the rest of the window.
    QVERIFY(!f.form->acceptDrops());
    QVERIFY(!f.form->centralWidget()->acceptDrops());
}

void TestListBox::deleteKeyWithAnyModifiers_deletesSelection_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("none") << Qt::KeyboardModifiers(Qt::NoModifier);
    QTest::newRow("Shift") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Ctrl+Shift") << (Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Alt") << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("keypad Delete") << Qt::KeyboardModifiers(Qt::KeypadModifier);
}

void TestListBox::deleteKeyWithAnyModifiers_deletesSelection()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    Fixture f;
    f.list->appendMany({"a", "b", "c", "d"});
    f.select({1, 3});
    QTest::keyClick(f.list, Qt::Key_Delete, modifiers);
    QCOMPARE(f.list->entries(), (QStringList{"a", "c"}));
}

void TestListBox::deleteKeyWithoutSelection_changesNothing()
{
    Fixture f;
    f.list->appendMany({"a", "b"});
    f.list->clearSelection();
    QTest::keyClick(f.list, Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(f.list->entries(), (QStringList{"a", "b"}));
}

void TestListBox::otherKeys_keepTheirUsualEffect()
{
    Fixture f;
    f.list->appendMany({"a", "b", "c"});
    f.list->setCurrentRow(0);
    QTest::keyClick(f.list, Qt::Key_End);
    QCOMPARE(f.list->currentRow(), 2);
    QTest::keyClick(f.list, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(f.list->selectedItems().size(), 3);
    QCOMPARE(f.list->count(), 3);
}

void TestListBox::deleteSelected_removesExactlyTheSelectedEntries_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("scattered and neighbouring rows")
        << QStringList{"a", "b", "c", "d", "e", "f"} << QList<int>{0, 2, 3, 5} << QStringList{"b", "e"};
    QTest::newRow("nothing selected") << QStringList{"a", "b"} << QList<int>() << QStringList{"a", "b"};
    QTest::newRow("everything selected") << QStringList{"a", "b", "c"} << QList<int>{0, 1, 2} << QStringList();
    QTest::newRow("one of equal entries")
        << QStringList{"x", "x", "x"} << QList<int>{1} << QStringList{"x", "x"};
    QTest::newRow("empty entries") << QStringList{"", "a", ""} << QList<int>{2} << QStringList{"", "a"};
}

void TestListBox::deleteSelected_removesExactlyTheSelectedEntries()
{
    QFETCH(QStringList, entries);
    QFETCH(QList<int>, selected);
    QFETCH(QStringList, remaining);
    Fixture f;
    f.list->appendMany(entries);
    f.select(selected);
    named<QAction>(*f.form, "deleteSelectedAction")->trigger();
    QCOMPARE(f.list->entries(), remaining);
}

void TestListBox::deleteAll_emptiesListWithoutAskingAndPrintingTurnsOff()
{
    Fixture f;
    f.list->appendMany({"a", "b", "c"});
    QTRY_VERIFY_WITH_TIMEOUT(named<QPushButton>(*f.form, "printAllButton")->isEnabled(), 2000);
    f.select({1});
    named<QAction>(*f.form, "deleteAllAction")->trigger();
    QCOMPARE(f.list->count(), 0);
    QVERIFY(f.dialogs.questions.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!named<QPushButton>(*f.form, "printAllButton")->isEnabled() && !named<QPushButton>(*f.form, "printPreviewButton")->isEnabled(), 2000);
}

void TestListBox::hugeEntry_isShownCutButKeptWhole()
{
    // A binary file loaded as a list can hold a line of millions of characters;
    // laying all of it out would stall every repaint.
    Fixture f;
    const QString huge(1000000, QLatin1Char('W'));
    f.list->appendMany({huge, QStringLiteral("short")});
    const int shownWidth = f.list->sizeHintForColumn(0);
    QVERIFY2(shownWidth < f.list->fontMetrics().horizontalAdvance(QString(4096, QLatin1Char('W'))),
             qPrintable(QString::number(shownWidth)));
    QCOMPARE(f.list->entryAt(0), huge);
    QCOMPARE(f.list->entries().constFirst().size(), huge.size());
}

void TestListBox::doubleClick_loadsCaretEntryUnchanged()
{
    Fixture f;
    QVERIFY(f.browser);
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    const QStringList entries{QStringLiteral("  spaced entry  "), QStringLiteral("http://127.0.0.1:9/p?q=1#x"),
                              QStringLiteral("/tmp/page.html")};
    f.list->appendMany(entries);

    doubleClickAt(f.list, f.list->visualItemRect(f.list->item(1)).center());
    QCOMPARE(f.browser->navigations, QStringList{entries[1]});

    // Below the last entry the caret entry is still the one loaded.
    f.list->setCurrentRow(0);
    doubleClickAt(f.list, QPoint(5, f.list->viewport()->height() - 3));
    QCOMPARE(f.browser->navigations, (QStringList{entries[1], entries[0]}));
    QCOMPARE(f.browser->printed, QStringList());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::doubleClickOnEmptyList_doesNothing()
{
    Fixture f;
    QVERIFY(f.browser);
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    doubleClickAt(f.list, QPoint(10, 10));
    f.form->showCaretEntry();
    QVERIFY(f.browser->navigations.isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestListBox::doubleClickWithFailingNavigation_showsError()
{
    Fixture f;
    QVERIFY(f.browser);
    f.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
    f.list->appendOne(QStringLiteral("page"));
    f.browser->refused = {QStringLiteral("page")};
    f.browser->loadFailure = QStringLiteral("The page cannot be loaded");
    doubleClickAt(f.list, f.list->visualItemRect(f.list->item(0)).center());
    QCOMPARE(f.messageTexts(), QStringList{QStringLiteral("The page cannot be loaded.")});
    QCOMPARE(f.list->entries(), QStringList{QStringLiteral("page")});
}

QTEST_MAIN(TestListBox)
#include "tst_pagelistbox.moc"

