#include "about.h"
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
    TAboutBox* makeBox(const QString& executableDir = QString());

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
    QList<QPointer<TAboutBox>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<TAboutBox*>(w))
            windows << window;
    qDeleteAll(windows);
}

TAboutBox* TestAboutBox::makeBox(const QString& executableDir)
{
    auto* box = new TAboutBox(*services_, executableDir.isEmpty() ? QDir::tempPath() : executableDir);
    box->show();
    return box;
}

void TestAboutBox::create_showsProductVersionTextsAndStartsRain()
{
    TAboutBox* box = makeBox();
    QCOMPARE(box->windowTitle(), QStringLiteral("About Dorvantis"));
    QCOMPARE(box->size(), QSize(446, 374));
    QCOMPARE(box->Label2->text(), QStringLiteral("Dorvantis 2.8"));
    QCOMPARE(box->BitBtn1->text(), QStringLiteral("OK"));
    QCOMPARE(box->BitBtn2->text(), QStringLiteral("Info"));
    QCOMPARE(box->Label5->text(), QStringLiteral("kelmaro.test"));
    QVERIFY(box->Label5->toolTip().contains(QStringLiteral("http://kelmaro.test/")));
    QCOMPARE(box->Label5->textFormat(), Qt::PlainText);
    QStringList items;
    for (QAction* a : box->PopupMenu1->actions())
        items << a->text();
    QCOMPARE(items, QStringList({"Acknowledgements...", "How to uninstall...", "License..."}));
    QCOMPARE(box->Panel1->geometry(), QRect(48, 42, 350, 291));
    QCOMPARE(box->BitBtn1->geometry(), QRect(49, 224, 122, 33));
    QCOMPARE(box->BitBtn2->geometry(), QRect(177, 224, 122, 33));
    QVERIFY(!box->Image1->pixmap().isNull());
    const QPixmap logo = box->Image2->pixmap();
    QCOMPARE(logo.deviceIndependentSize().toSize(), QSize(344, 105));
    QVERIFY(box->tmTimer->isActive());
    QCOMPARE(box->tmTimer->interval(), 50);
    QCOMPARE(box->rain().RainAlphabet, QStringLiteral("kel"));
    QCOMPARE(box->rain().DropCount, 2 * box->rain().matrixWidth);
    QVERIFY(box->rain().matrixWidth >= 446 / 8);
    // Keyboard users reach the link after the buttons.
    QCOMPARE(box->BitBtn1->nextInFocusChain(), static_cast<QWidget*>(box->BitBtn2));
    QVERIFY(box->Label5->focusPolicy() != Qt::NoFocus);
}

void TestAboutBox::links_openTheMakersPages_data()
{
    QTest::addColumn<QString>("handler");
    QTest::addColumn<QString>("address");
    QTest::newRow("link label") << "Label5Click" << "http://kelmaro.test/";
    QTest::newRow("link label by keyboard") << "Label5Key" << "http://kelmaro.test/";
    QTest::newRow("acknowledgements") << "Credits1" << "https://kelmaro.test/blog/credits-and-acknowledgements/";
    QTest::newRow("uninstall") << "Howtouninstall1" << "http://kelmaro.test/blog/how-to-uninstall-kelmaro-software/";
}

void TestAboutBox::links_openTheMakersPages()
{
    QFETCH(QString, handler);
    QFETCH(QString, address);
    TAboutBox* box = makeBox();
    shell_->succeed = false; // a failing browser is not reported
    if (handler == QLatin1String("Label5Click")) {
        QTest::mouseClick(box->Label5, Qt::LeftButton);
    } else if (handler == QLatin1String("Label5Key")) {
        box->Label5->setFocus();
        QTest::keyClick(box->Label5, Qt::Key_Return);
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

    TAboutBox* box = makeBox(dir.path());
    box->LicensePrivacyPolicy1->trigger();
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
    TAboutBox* box = makeBox();
    MenuWatcher watcher(box->PopupMenu1);
    FakeClock clock{0x80000000u};
    QVERIFY(ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QCOMPARE(watcher.opened, 1);
    QCOMPARE(watcher.shownAt, box->BitBtn2->mapToGlobal(QPoint(0, box->BitBtn2->height())));

    clock.now += 99; // the click that closed the menu
    QVERIFY(!ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QCOMPARE(watcher.opened, 1);

    clock.now += 1; // the next click, however soon
    QVERIFY(ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QCOMPARE(watcher.opened, 2);

    clock.now += 100; // 100 ms after closing is a new request
    QVERIFY(ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QCOMPARE(watcher.opened, 3);

    // The real button goes through the same rule.
    box->BitBtn2->click();
    QCOMPARE(watcher.opened, 4);
}

void TestAboutBox::popup_tickCountWraps_stillWithin100ms()
{
    TAboutBox* box = makeBox();
    MenuWatcher watcher(box->PopupMenu1);
    FakeClock clock{0xffffffc0u};
    QVERIFY(ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    clock.now = 0x10; // 80 ms later, across the wrap
    QVERIFY(!ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QCOMPARE(watcher.opened, 1);
}

void TestAboutBox::popup_otherButtonOrMenu_opensAtOnce()
{
    TAboutBox* box = makeBox();
    QMenu other;
    other.addAction(QStringLiteral("x"));
    MenuWatcher watcher(box->PopupMenu1);
    MenuWatcher otherWatcher(&other);
    FakeClock clock{70000};
    QVERIFY(ShowPopupBelowButton(box->BitBtn2, box->PopupMenu1, clock.source()));
    QVERIFY(ShowPopupBelowButton(box->BitBtn1, box->PopupMenu1, clock.source()));
    QVERIFY(ShowPopupBelowButton(box->BitBtn1, &other, clock.source()));
    QCOMPARE(watcher.opened, 2);
    QCOMPARE(otherWatcher.opened, 1);
}

void TestAboutBox::esc_onEitherButton_closesAndDeletesBox_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("OK") << "BitBtn1";
    QTest::newRow("Info") << "BitBtn2";
}

void TestAboutBox::esc_onEitherButton_closesAndDeletesBox()
{
    QFETCH(QString, button);
    QPointer<TAboutBox> box = makeBox();
    auto* target = box->findChild<QPushButton*>(button);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    deliverDeferredDeletes();
    QVERIFY(box.isNull());
}

void TestAboutBox::ok_closesAndDeletesBox()
{
    QPointer<TAboutBox> box = makeBox();
    QTest::mouseClick(box->BitBtn1, Qt::LeftButton);
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
    QTest::newRow("panel") << "Panel1" << int(Qt::LeftButton) << true;
    QTest::newRow("logo") << "Image2" << int(Qt::LeftButton) << true;
    QTest::newRow("icon") << "Image1" << int(Qt::MiddleButton) << true;
    QTest::newRow("product label") << "Label2" << int(Qt::LeftButton) << true;
    QTest::newRow("OK button") << "BitBtn1" << int(Qt::LeftButton) << false;
    QTest::newRow("Info button") << "BitBtn2" << int(Qt::LeftButton) << false;
    QTest::newRow("link") << "Label5" << int(Qt::LeftButton) << false;
}

void TestAboutBox::drag_movesBoxOnlyFromSurfaces()
{
    QFETCH(QString, part);
    QFETCH(int, button);
    QFETCH(bool, moves);
    TAboutBox* box = makeBox();
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
    TAboutBox* box = makeBox();
    QVERIFY(QTest::qWaitForWindowExposed(box));
    box->tmTimer->stop();
    dv::about::Rain& rain = box->rain();
    for (int i = 0; i < rain.DropCount; ++i)
        rain.Drops[size_t(i)].Brightness = 99;

    box->tmTimerTimer();
    QCoreApplication::processEvents(); // the rain's own repaint
    QVERIFY(hasLitPixel(rain.surface()));

    box->repaint(); // any other paint, as after the box was uncovered
    QVERIFY(!hasLitPixel(rain.surface()));

    box->tmTimerTimer();
    QCoreApplication::processEvents();
    QVERIFY(hasLitPixel(rain.surface()));
}

void TestAboutBox::resize_clearsAndRestartsRainOnFirstGrid()
{
    TAboutBox* box = makeBox();
    box->tmTimer->stop();
    dv::about::Rain& rain = box->rain();
    const int columns = rain.matrixWidth;
    const int rows = rain.matrixHeight;
    for (int i = 0; i < 3; ++i)
        box->tmTimerTimer();
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
