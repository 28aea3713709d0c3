#include "aboutbox.h"
#include "named.h"
#include "popup.h"

#include "dialogs.h"
#include "identity.h"
#include "recording.h"
#include "registry.h"
#include "services.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using dv::test::named;

using dv::about::ShowPopupBelowButton;

namespace {

void deliverDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool hasLitPixel(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffffu) != 0)
                return true;
    return false;
}

// Sends a mouse event with an explicit screen position, as a real pointer would.
void sendMouse(QWidget* widget, QEvent::Type type, Qt::MouseButton button, QPoint global)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(widget->mapFromGlobal(global)), QPointF(global),
        type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A fake millisecond clock for the drop-down's 100 ms rule.
struct FakeClock {
    quint32 now = 0;
    std::function<quint32()> source()
    {
        return [this] { return now; };
    }
};

// Closes the menu as soon as it shows, and counts how often it did.
struct MenuWatcher {
    explicit MenuWatcher(QMenu* menu)
    {
        QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] {
            ++opened;
            QTimer::singleShot(0, menu, [this, menu] {
                shownAt = menu->pos();
                menu->close();
            });
        });
    }
    int opened = 0;
    QPoint shownAt;
};

} // namespace

class TestAboutBox : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void create_showsProductVersionTextsAndStartsRain();
    void links_openTheMakersPages_data();
    void links_openTheMakersPages();
    void license_opensTextBesideExecutableOrSaysNotFound_data();
    void license_opensTextBesideExecutableOrSaysNotFound();
    void popup_opensBelowButton_andClickThatClosedItDoesNotReopen();
    void popup_tickCountWraps_stillWithin100ms();
    void popup_otherButtonOrMenu_opensAtOnce();
    void esc_onEitherButton_closesAndDeletesBox_data();
    void esc_onEitherButton_closesAndDeletesBox();
    void ok_closesAndDeletesBox();
    void drag_movesBoxOnlyFromSurfaces_data();
    void drag_movesBoxOnlyFromSurfaces();
    void paint_notFromRain_blanksSurface_rainsOwnRepaintKeepsIt();
    void resize_clearsAndRestartsRainOnFirstGrid();

private:
    AboutBox* makeBox(const QString& executableDir = QString());

    std::unique_ptr<dv::test::RecordingDialogs> dialogs_;
    std::unique_ptr<dv::test::RecordingShell> shell_;
    std::unique_ptr<dv::RegistryStore> registry_;
    std::unique_ptr<dv::Services> services_;
};

void TestAboutBox::initTestCase()
{
    AppCompany = QStringLiteral("KELMARO");
    AppProduct = QStringLiteral("Dorvantis");
    AppTitle = QStringLiteral("KELMARO - Dorvantis");
    AppVersion = QStringLiteral("2.8");
}

void TestAboutBox::init()
{
    qputenv("DORVANTIS_WEB_HOST", "kelmaro.test");
    dialogs_ = std::make_unique<dv::test::RecordingDialogs>();
    shell_ = std::make_unique<dv::test::RecordingShell>();
    registry_ = std::make_unique<dv::RegistryStore>(dv::RegistryStore::defaultPath());
    services_ = std::make_unique<dv::Services>(dv::Services{*dialogs_, *shell_, *registry_});
}

void TestAboutBox::cleanup()
{
    // Deleting a window also deletes its menus, which are top-level widgets too.
    QList<QPointer<AboutBox>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<AboutBox*>(w))
            windows << window;
    qDeleteAll(windows);
}

AboutBox* TestAboutBox::makeBox(const QString& executableDir)
{
    auto* box = new AboutBox(*services_, executableDir.isEmpty() ? QDir::tempPath() : executableDir);
    box->show();
    return box;
}

void TestAboutBox::create_showsProductVersionTextsAndStartsRain()
{
    AboutBox* box = makeBox();
    QCOMPARE(box->windowTitle(), QStringLiteral("About Dorvantis"));
    QCOMPARE(box->size(), QSize(446, 374));
    QCOMPARE(named<QLabel>(*box, "productLabel")->text(), QStringLiteral("Dorvantis 2.8"));
    QCOMPARE(named<QPushButton>(*box, "okButton")->text(), QStringLiteral("OK"));
    QCOMPARE(named<QPushButton>(*box, "infoButton")->text(), QStringLiteral("Info"));
    QCOMPARE(named<LinkLabel>(*box, "homePageLink")->text(), QStringLiteral("kelmaro.test"));
    QVERIFY(named<LinkLabel>(*box, "homePageLink")->toolTip().contains(QStringLiteral("http://kelmaro.test/")));
    QCOMPARE(named<LinkLabel>(*box, "homePageLink")->textFormat(), Qt::PlainText);
    QStringList items;
    for (QAction* a : named<QMenu>(*box, "infoMenu")->actions())
        items << a->text();
    QCOMPARE(items, QStringList({"Acknowledgements...", "How to uninstall...", "License..."}));
    QCOMPARE(named<QFrame>(*box, "infoPanel")->geometry(), QRect(48, 42, 350, 291));
    QCOMPARE(named<QPushButton>(*box, "okButton")->geometry(), QRect(49, 224, 122, 33));
    QCOMPARE(named<QPushButton>(*box, "infoButton")->geometry(), QRect(177, 224, 122, 33));
    QVERIFY(!named<QLabel>(*box, "productIcon")->pixmap().isNull());
    const QPixmap logo = named<QLabel>(*box, "logo")->pixmap();
    QCOMPARE(logo.deviceIndependentSize().toSize(), QSize(344, 105));
    QVERIFY(named<QTimer>(*box, "rainTimer")->isActive());
    QCOMPARE(named<QTimer>(*box, "rainTimer")->interval(), 50);
    QCOMPARE(box->rain().RainAlphabet, QStringLiteral("kel"));
    QCOMPARE(box->rain().DropCount, 2 * box->rain().matrixWidth);
    QVERIFY(box->rain().matrixWidth >= 446 / 8);
    // Keyboard users reach the link after the buttons.
    QCOMPARE(named<QPushButton>(*box, "okButton")->nextInFocusChain(), static_cast<QWidget*>(named<QPushButton>(*box, "infoButton")));
    QVERIFY(named<LinkLabel>(*box, "homePageLink")->focusPolicy() != Qt::NoFocus);
}

void TestAboutBox::links_openTheMakersPages_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("address");
    QTest::newRow("link label") << "openHomePage" << "http://kelmaro.test/";
    QTest::newRow("link label by keyboard") << "homePageLinkKey" << "http://kelmaro.test/";
    QTest::newRow("acknowledgements") << "creditsAction" << "https://kelmaro.test/blog/credits-and-acknowledgements/";
    QTest::newRow("uninstall") << "uninstallHelpAction" << "http://kelmaro.test/blog/how-to-uninstall-kelmaro-software/";
}

void TestAboutBox::links_openTheMakersPages()
{
    QFETCH(QString, handler);
    QFETCH(QString, address);
    AboutBox* box = makeBox();
    shell_->succeed = false; // a failing browser is not reported
    if (handler == QLatin1String("openHomePage")) {
        QTest::mouseClick(named<LinkLabel>(*box, "homePageLink"), Qt::LeftButton);
    } else if (handler == QLatin1String("homePageLinkKey")) {
        named<LinkLabel>(*box, "homePageLink")->setFocus();
        QTest::keyClick(named<LinkLabel>(*box, "homePageLink"), Qt::Key_Return);
    } else {
        box->findChild<QAction*>(handler)->trigger();
    }
    QCOMPARE(shell_->openedUrls, QStringList({address}));
    QVERIFY(dialogs_->messages.isEmpty());
    QVERIFY(box->isVisible());
}

void TestAboutBox::license_opensTextBesideExecutableOrSaysNotFound_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("opens");
    QTest::newRow("file beside executable") << "file" << true;
    QTest::newRow("symbolic link to a file") << "link" << true;
    QTest::newRow("no file") << "none" << false;
    QTest::newRow("folder of that name") << "folder" << false;
    QTest::newRow("dangling link") << "dangling" << false;
}

void TestAboutBox::license_opensTextBesideExecutableOrSaysNotFound()
{
    QFETCH(QString, layout);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("license.txt"));
    if (layout == QLatin1String("file") || layout == QLatin1String("link")) {
        QFile file(layout == QLatin1String("file") ? path : dir.filePath(QStringLiteral("LICENSE")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Terms\n");
        file.close();
        if (layout == QLatin1String("link"))
            QVERIFY(QFile::link(file.fileName(), path));
    } else if (layout == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("license.txt")));
    } else if (layout == QLatin1String("dangling")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone.txt")), path));
    }

    AboutBox* box = makeBox(dir.path());
    named<QAction>(*box, "licenseAction")->trigger();
    if (opens) {
        QCOMPARE(shell_->openedTextFiles, QStringList({path}));
        QVERIFY(dialogs_->messages.isEmpty());
    } else {
        QVERIFY(shell_->openedTextFiles.isEmpty());
        QCOMPARE(dialogs_->messages.size(), 1);
        QCOMPARE(dialogs_->messages[0].text, QStringLiteral("File not found!"));
        QCOMPARE(dialogs_->messages[0].caption, QStringLiteral("License"));
        QCOMPARE(dialogs_->messages[0].flags, int(dv::MB_ICONERROR));
    }
}

void TestAboutBox::popup_opensBelowButton_andClickThatClosedItDoesNotReopen()
{
    AboutBox* box = makeBox();
    MenuWatcher watcher(named<QMenu>(*box, "infoMenu"));
    FakeClock clock{0x80000000u};
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QCOMPARE(watcher.opened, 1);
    QCOMPARE(watcher.shownAt, named<QPushButton>(*box, "infoButton")->mapToGlobal(QPoint(0, named<QPushButton>(*box, "infoButton")->height())));

    clock.now += 99; // the click that closed the menu
    QVERIFY(!ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QCOMPARE(watcher.opened, 1);

    clock.now += 1; // the next click, however soon
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QCOMPARE(watcher.opened, 2);

    clock.now += 100; // 100 ms after closing is a new request
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QCOMPARE(watcher.opened, 3);

    // The real button goes through the same rule.
    named<QPushButton>(*box, "infoButton")->click();
    QCOMPARE(watcher.opened, 4);
}

void TestAboutBox::popup_tickCountWraps_stillWithin100ms()
{
    AboutBox* box = makeBox();
    MenuWatcher watcher(named<QMenu>(*box, "infoMenu"));
    FakeClock clock{0xffffffc0u};
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    clock.now = 0x10; // 80 ms later, across the wrap
    QVERIFY(!ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QCOMPARE(watcher.opened, 1);
}

void TestAboutBox::popup_otherButtonOrMenu_opensAtOnce()
{
    AboutBox* box = makeBox();
    QMenu other;
    other.addAction(QStringLiteral("x"));
    MenuWatcher watcher(named<QMenu>(*box, "infoMenu"));
    MenuWatcher otherWatcher(&other);
    FakeClock clock{70000};
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "infoButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "okButton"), named<QMenu>(*box, "infoMenu"), clock.source()));
    QVERIFY(ShowPopupBelowButton(named<QPushButton>(*box, "okButton"), &other, clock.source()));
    QCOMPARE(watcher.opened, 2);
    QCOMPARE(otherWatcher.opened, 1);
}

void TestAboutBox::esc_onEitherButton_closesAndDeletesBox_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("OK") << "okButton";
    QTest::newRow("Info") << "infoButton";
}

void TestAboutBox::esc_onEitherButton_closesAndDeletesBox()
{
    QFETCH(QString, button);
    QPointer<AboutBox> box = makeBox();
    auto* target = box->findChild<QPushButton*>(button);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    deliverDeferredDeletes();
    QVERIFY(box.isNull());
}

void TestAboutBox::ok_closesAndDeletesBox()
{
    QPointer<AboutBox> box = makeBox();
    QTest::mouseClick(named<QPushButton>(*box, "okButton"), Qt::LeftButton);
    deliverDeferredDeletes();
    QVERIFY(box.isNull());
}

void TestAboutBox::drag_movesBoxOnlyFromSurfaces_data()
{
    QTest::addColumn<QString>("part");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("moves");
    QTest::newRow("form, left") << "" << int(Qt::LeftButton) << true;
    QTest::newRow("form, middle") << "" << int(Qt::MiddleButton) << true;
    QTest::newRow("form, right") << "" << int(Qt::RightButton) << false;
    QTest::newRow("panel") << "infoPanel" << int(Qt::LeftButton) << true;
    QTest::newRow("logo") << "logo" << int(Qt::LeftButton) << true;
    QTest::newRow("icon") << "productIcon" << int(Qt::MiddleButton) << true;
    QTest::newRow("product label") << "productLabel" << int(Qt::LeftButton) << true;
    QTest::newRow("OK button") << "okButton" << int(Qt::LeftButton) << false;
    QTest::newRow("Info button") << "infoButton" << int(Qt::LeftButton) << false;
    QTest::newRow("link") << "homePageLink" << int(Qt::LeftButton) << false;
}

void TestAboutBox::drag_movesBoxOnlyFromSurfaces()
{
    QFETCH(QString, part);
    QFETCH(int, button);
    QFETCH(bool, moves);
    AboutBox* box = makeBox();
    box->move(100, 100);
    QWidget* target = part.isEmpty() ? static_cast<QWidget*>(box) : box->findChild<QWidget*>(part);
    QVERIFY(target);
    const QPoint start = target->mapToGlobal(QPoint(2, 2));
    const QPoint before = box->pos();
    const auto b = Qt::MouseButton(button);

    sendMouse(target, QEvent::MouseButtonPress, b, start);
    sendMouse(target, QEvent::MouseMove, b, start + QPoint(15, 7));
    sendMouse(target, QEvent::MouseMove, b, start + QPoint(25, -3));
    QCOMPARE(box->pos(), moves ? before + QPoint(25, -3) : before);

    // Releasing any button ends the drag.
    sendMouse(target, QEvent::MouseButtonRelease, Qt::RightButton, start + QPoint(25, -3));
    QVERIFY(!box->isDragging());
    const QPoint after = box->pos();
    sendMouse(target, QEvent::MouseMove, Qt::NoButton, start + QPoint(60, 60));
    QCOMPARE(box->pos(), after);
}

void TestAboutBox::paint_notFromRain_blanksSurface_rainsOwnRepaintKeepsIt()
{
    AboutBox* box = makeBox();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    named<QTimer>(*box, "rainTimer")->stop();
    dv::about::Rain& rain = box->rain();
    for (int i = 0; i < rain.DropCount; ++i)
        rain.Drops[size_t(i)].Brightness = 99;

    box->stepRain();
    QCoreApplication::processEvents(); // the rain's own repaint
    QVERIFY(hasLitPixel(rain.surface()));

    box->repaint(); // any other paint, as after the box was uncovered
    QVERIFY(!hasLitPixel(rain.surface()));

    box->stepRain();
    QCoreApplication::processEvents();
    QVERIFY(hasLitPixel(rain.surface()));
}

void TestAboutBox::resize_clearsAndRestartsRainOnFirstGrid()
{
    AboutBox* box = makeBox();
    named<QTimer>(*box, "rainTimer")->stop();
    dv::about::Rain& rain = box->rain();
    const int columns = rain.matrixWidth;
    const int rows = rain.matrixHeight;
    for (int i = 0; i < 3; ++i)
        box->stepRain();
    const int tick = rain.RainTick;

    box->setFixedSize(600, 480);
    QCoreApplication::processEvents();

    const qreal ratio = box->devicePixelRatioF();
    QCOMPARE(rain.surface().size(), (QSizeF(600, 480) * ratio).toSize());
    QVERIFY(!hasLitPixel(rain.surface()));
    QCOMPARE(rain.matrixWidth, columns);
    QCOMPARE(rain.matrixHeight, rows);
    QCOMPARE(rain.DropCount, 2 * columns);
    QCOMPARE(rain.RainTick, tick);
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"

