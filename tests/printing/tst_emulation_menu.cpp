// The "Browser" menu, the start-up marks, the hint bar and the restart, driven
// through the main window with recorded dialogs and shell.
#include "windowfixture.h"
#include "mainwindow.h"
#include "named.h"
#include "dialogs.h"
#include "emulation.h"
#include "errordialog.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using dv::test::named;

namespace {

const QString Key = QString::fromLatin1(dv::EmulationKey);
const QString Name = QStringLiteral("dorvantis");
const QString Restart = QStringLiteral("Restart Application?");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One main window over a private registry store, with recording dialogs and shell.
struct Program : dv::test::WindowFixture {
    explicit Program(const QString& storePath) : WindowFixture(storePath) { }

    void start(const QString& executable = QStringLiteral(DV_EXECUTABLE_PATH))
    {
        AppParts parts;
        parts.executablePath = executable;
        parts.pageSourceFactory = [](QWidget* parent) { return std::make_unique<dv::test::ScriptedPageSource>(parent); };
        form = std::make_unique<MainWindow>(services, parts);
        form->show();
    }

    QList<QAction*> items() const
    {
        return {named<QAction>(*form, "ie7Action"), named<QAction>(*form, "ie8Action"), named<QAction>(*form, "ie9Action"),
                named<QAction>(*form, "ie10Action"), named<QAction>(*form, "ie11Action")};
    }

    // The levels that carry a check mark, as numbers 7 to 11.
    QList<int> marks() const
    {
        QList<int> out;
        for (int i = 0; i < 5; ++i) {
            if (items().at(i)->isChecked())
                out << 7 + i;
        }
        return out;
    }

    QStringList errors() const
    {
        QStringList out;
        for (const dv::test::ShownMessage& m : dialogs.messages) {
            if (m.flags == dv::MB_ICONERROR)
                out << m.text;
        }
        return out;
    }

    std::optional<dv::RegValue> stored() const { return registry.queryValue(Key, Name); }
    bool hintShown() const { return !named<QFrame>(*form, "hintPanel")->isHidden(); }

    // Both start-up timers have fired.
    bool startupDone() const { return !named<QTimer>(*form, "emulationMarkTimer")->isActive() && !named<QTimer>(*form, "hintTimer")->isActive(); }

};

} // namespace

class TestEmulationMenu : public QObject {
    Q_OBJECT

private slots:
    void init();
    void firstStart_createsKeyMarksLevel7AndShowsHintASecondLater();
    void startWithValue_marksItsLevelOnce_data();
    void startWithValue_marksItsLevelOnce();
    void choosingLevel_storesItAndAsksRestart_marksStay_data();
    void choosingLevel_storesItAndAsksRestart_marksStay();
    void applyOnHint_writes11000AndAsks_noKeepsBarAndMarks();
    void restartYes_startsProgramAnewAndCloses_newStartMarksChosenLevel();
    void unwritableStore_marks7_levelFailsWithoutQuestion_level7StillAsks();
    void renamedExecutable_hasItsOwnValue();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString storePath() const { return dir_->filePath(QStringLiteral("config/registry.json")); }
};

void TestEmulationMenu::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestEmulationMenu::firstStart_createsKeyMarksLevel7AndShowsHintASecondLater()
{
    Program p(storePath());
    QElapsedTimer clock;
    clock.start();
    p.start();
    std::optional<bool> hintAtMarking;
    connect(named<QTimer>(*p.form, "emulationMarkTimer"), &QTimer::timeout, this, [&] { hintAtMarking = p.hintShown(); });

    QTRY_VERIFY(!named<QTimer>(*p.form, "emulationMarkTimer")->isActive());
    QCOMPARE(p.marks(), QList<int>{7});
    QVERIFY(p.registry.keyExists(Key));
    QVERIFY(!p.stored());
    QVERIFY(hintAtMarking.has_value());
    QVERIFY(!*hintAtMarking);

    QTRY_VERIFY_WITH_TIMEOUT(p.hintShown(), 5000);
    QVERIFY2(clock.elapsed() >= 900, "the hint waits for its one-second timer");
    QVERIFY(p.startupDone());
    QVERIFY(p.errors().isEmpty());
}

void TestEmulationMenu::startWithValue_marksItsLevelOnce_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<int>>("marks");
    QTest::addColumn<bool>("hint");
    QTest::addColumn<QString>("error");

    const int Dword = int(dv::RegType::Dword);
    const auto dword = [](quint32 v) { return dv::RegValue::dword(v).data; };
    QTest::newRow("11000: level 11, no hint") << Dword << dword(11000) << QList<int>{11} << false << QString();
    QTest::newRow("10000: level 10, hint") << Dword << dword(10000) << QList<int>{10} << true << QString();
    QTest::newRow("8000: level 8, hint") << Dword << dword(8000) << QList<int>{8} << true << QString();
    QTest::newRow("other number: no mark, hint") << Dword << dword(11111) << QList<int>{} << true << QString();
    QTest::newRow("text: get error, no mark, hint")
        << int(dv::RegType::Sz) << dv::RegValue::text(QStringLiteral("11000")).data << QList<int>{} << true
        << QStringLiteral("Failed to get data for 'dorvantis'");
    QTest::newRow("four-byte binary: type error, no mark, hint")
        << int(dv::RegType::Binary) << dword(11000) << QList<int>{} << true
        << QStringLiteral("Invalid data type for 'dorvantis'");
}

void TestEmulationMenu::startWithValue_marksItsLevelOnce()
{
    QFETCH(int, type);
    QFETCH(QByteArray, data);
    QFETCH(QList<int>, marks);
    QFETCH(bool, hint);
    QFETCH(QString, error);

    Program p(storePath());
    QVERIFY(p.registry.setValue(Key, Name, dv::RegValue{dv::RegType(type), data}));
    p.start();

    QTRY_VERIFY_WITH_TIMEOUT(p.startupDone(), 5000);
    QCOMPARE(p.marks(), marks);
    QCOMPARE(p.hintShown(), hint);
    // The emulation mark timer fires once only, even when it failed.
    QTest::qWait(200);
    QCOMPARE(p.errors(), error.isEmpty() ? QStringList() : QStringList{error});
    QVERIFY(p.dialogs.questions.isEmpty());
}

void TestEmulationMenu::choosingLevel_storesItAndAsksRestart_marksStay_data()
{
    QTest::addColumn<int>("before"); // 0: no value
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("after"); // 0: no value
    QTest::addColumn<QList<int>>("marks");

    QTest::newRow("7 without value writes nothing") << 0 << 7 << 0 << QList<int>{7};
    QTest::newRow("7 removes 9000") << 9000 << 7 << 0 << QList<int>{9};
    QTest::newRow("8 writes 8000") << 0 << 8 << 8000 << QList<int>{7};
    QTest::newRow("10 replaces 9000") << 9000 << 10 << 10000 << QList<int>{9};
    QTest::newRow("11 writes 11000") << 8000 << 11 << 11000 << QList<int>{8};
    QTest::newRow("the level in force is written again and keeps its mark") << 9000 << 9 << 9000 << QList<int>{9};
    QTest::newRow("unmarked level 7 stays unmarked") << 11000 << 7 << 0 << QList<int>{11};
}

void TestEmulationMenu::choosingLevel_storesItAndAsksRestart_marksStay()
{
    QFETCH(int, before);
    QFETCH(int, level);
    QFETCH(int, after);
    QFETCH(QList<int>, marks);

    Program p(storePath());
    if (before)
        QVERIFY(p.registry.setValue(Key, Name, dv::RegValue::dword(quint32(before))));
    p.start();
    QTRY_VERIFY(!named<QTimer>(*p.form, "emulationMarkTimer")->isActive());
    const QByteArray storeBefore = fileBytes(storePath());

    p.items().at(level - 7)->trigger();

    QCOMPARE(p.dialogs.questions, QStringList{Restart});
    QVERIFY(p.shell.startedPrograms.isEmpty());
    QVERIFY(p.form->isVisible());
    QCOMPARE(p.marks(), marks);
    const std::optional<dv::RegValue> stored = p.stored();
    QCOMPARE(stored.has_value(), after != 0);
    if (after) {
        QCOMPARE(stored->type, dv::RegType::Dword);
        QCOMPARE(stored->toDword(), quint32(after));
    }
    if (before == 0 && level == 7)
        QCOMPARE(fileBytes(storePath()), storeBefore);
    QVERIFY(p.errors().isEmpty());
}

void TestEmulationMenu::applyOnHint_writes11000AndAsks_noKeepsBarAndMarks()
{
    Program p(storePath());
    p.start();
    QTRY_VERIFY_WITH_TIMEOUT(p.hintShown(), 5000);
    QCOMPARE(p.marks(), QList<int>{7});

    QTest::mouseClick(named<QPushButton>(*p.form, "applyHintButton"), Qt::LeftButton);

    QCOMPARE(p.dialogs.questions, QStringList{Restart});
    QVERIFY(p.stored());
    QCOMPARE(p.stored()->toDword(), 11000u);
    QVERIFY(p.hintShown());
    QCOMPARE(p.marks(), QList<int>{7});
    QVERIFY(p.shell.startedPrograms.isEmpty());
    QVERIFY(p.form->isVisible());
}

void TestEmulationMenu::restartYes_startsProgramAnewAndCloses_newStartMarksChosenLevel()
{
    {
        Program first(storePath());
        first.dialogs.answerYes = true;
        first.start();
        QVERIFY(QTest::qWaitForWindowExposed(first.form.get()));
        QTRY_VERIFY(!named<QTimer>(*first.form, "emulationMarkTimer")->isActive());

        named<QAction>(*first.form, "ie10Action")->trigger();

        QCOMPARE(first.dialogs.questions, QStringList{Restart});
        QCOMPARE(first.shell.startedPrograms, QStringList{QCoreApplication::applicationFilePath()});
        QVERIFY(!first.form->isVisible());
        QCOMPARE(first.marks(), QList<int>{7});
    }

    Program second(storePath());
    second.start();
    QTRY_VERIFY_WITH_TIMEOUT(second.startupDone(), 5000);
    QCOMPARE(second.marks(), QList<int>{10});
    QVERIFY(second.hintShown());
}

void TestEmulationMenu::unwritableStore_marks7_levelFailsWithoutQuestion_level7StillAsks()
{
    // The store's folder is a plain file: nothing can be read or written there.
    QVERIFY(QFile(dir_->filePath(QStringLiteral("config"))).open(QIODevice::WriteOnly));
    Program p(storePath());
    p.start();
    QTRY_VERIFY(!named<QTimer>(*p.form, "emulationMarkTimer")->isActive());
    QCOMPARE(p.marks(), QList<int>{7});

    named<QAction>(*p.form, "ie11Action")->trigger();
    QCOMPARE(p.errors(), QStringList{QStringLiteral("Failed to set data for 'dorvantis'")});
    QVERIFY(p.dialogs.questions.isEmpty());

    named<QAction>(*p.form, "ie7Action")->trigger();
    QCOMPARE(p.errors().size(), 1);
    QCOMPARE(p.dialogs.questions, QStringList{Restart});
    QCOMPARE(p.dialogs.messages.at(0).caption, QStringLiteral("Dorvantis"));
}

void TestEmulationMenu::renamedExecutable_hasItsOwnValue()
{
    const QString renamed = dir_->filePath(QStringLiteral("printer-copy"));
    QVERIFY(QFile::link(QStringLiteral(DV_EXECUTABLE_PATH), renamed));
    Program p(storePath());
    QVERIFY(p.registry.setValue(Key, Name, dv::RegValue::dword(11000)));
    p.start(renamed);
    QTRY_VERIFY(!named<QTimer>(*p.form, "emulationMarkTimer")->isActive());
    QCOMPARE(p.marks(), QList<int>{7});

    named<QAction>(*p.form, "ie9Action")->trigger();
    QCOMPARE(p.registry.queryValue(Key, QStringLiteral("printer-copy"))->toDword(), 9000u);
    QCOMPARE(p.stored()->toDword(), 11000u);
}

QTEST_MAIN(TestEmulationMenu)
#include "tst_emulation_menu.moc"

