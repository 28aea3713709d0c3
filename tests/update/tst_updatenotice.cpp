// The update notice window on its own, without the main window.
#include "check.h"
#include "named.h"
#include "identity.h"
#include "updatenotice.h"
#include "recording.h"
#include "resources.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using dv::test::named;

using dv::test::RecordingShell;

namespace {

// A mouse event at a screen position, as the pointer would deliver it.
void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, const QPoint& global)
{
    const QPoint local = target->mapFromGlobal(global);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(local), QPointF(global), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                  Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

} // namespace

class TestNewVer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        dv::initResources();
        AppProduct = "Dorvantis";
    }

    void init()
    {
        dv::ResetUpdateCheckState();
        NewVersion = "2.9";
        DownloadURL = "https://kelmaro.example/download/";
        updateNoticeCountdown = 11;
        shell_ = RecordingShell();
        qputenv("DORVANTIS_WEB_HOST", "kelmaro.example");
        main_ = std::make_unique<QWidget>();
        main_->setObjectName("main");
        main_->resize(400, 300);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }

    void cleanup()
    {
        notice_.reset();
        main_.reset();
        dv::ResetUpdateCheckState();
    }

    void creation_buildsTheDesignedWindowInvisibleInTopRightCorner()
    {
        makeNotice();
        UpdateNotice& w = *notice_;
        QVERIFY(!w.isVisible());
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.size(), QSize(320, 68));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(w.pos(), QPoint(screen.x() + screen.width() - 320 - 5, screen.y() + 5));
        QCOMPARE(named<QLabel>(w, "titleLabel")->text(), "UPDATE AVAILABLE");
        QCOMPARE(named<QLabel>(w, "downloadLink")->text(), "Click to download Dorvantis 2.9");
        QVERIFY(named<QLabel>(w, "downloadLink")->wordWrap());
        QCOMPARE(named<QLabel>(w, "downloadLink")->alignment(), Qt::AlignCenter);
        QVERIFY(named<QLabel>(w, "downloadLink")->font().underline());
        QVERIFY(named<QLabel>(w, "titleLabel")->font().bold());
        QVERIFY(named<QLabel>(w, "picture")->pixmap().isNull() == false);
        QCOMPARE(named<QToolButton>(w, "closeButton")->accessibleName(), "Close");
        QCOMPARE(named<QLabel>(w, "downloadLink")->accessibleName(), "Click to download Dorvantis 2.9");
        QVERIFY(named<QLabel>(w, "downloadLink")->focusPolicy() & Qt::TabFocus);
        QVERIFY(named<QToolButton>(w, "closeButton")->focusPolicy() & Qt::TabFocus);
        QCOMPARE(named<QTimer>(w, "countdownTimer")->interval(), 1000);
        QCOMPARE(named<QTimer>(w, "linkHoverTimer")->interval(), 100);
    }

    void versionFromService_isShownAsPlainText()
    {
        NewVersion = "<b>2.9</b>";
        makeNotice();
        QCOMPARE(named<QLabel>(*notice_, "downloadLink")->textFormat(), Qt::PlainText);
        QCOMPARE(named<QLabel>(*notice_, "downloadLink")->text(), "Click to download Dorvantis <b>2.9</b>");
    }

    void timerStart_showsItOnceAndHandsFocusBack()
    {
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        QVERIFY(!named<QTimer>(*notice_, "showTimer")->isActive());
        QTRY_COMPARE(QApplication::activeWindow(), main_.get());
        // Typing goes to the main window, not to the notice.
        QTest::qWait(2 * UpdateNotice::AnimationMs);
        QCOMPARE(QApplication::activeWindow(), main_.get());
        QVERIFY(notice_->mask().isEmpty());
    }

    void countdown_closesOnEleventhTickWithCollapse()
    {
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        named<QTimer>(*notice_, "countdownTimer")->stop(); // the test drives the ticks
        for (int tick = 1; tick <= 10; ++tick)
            notice_->countDown();
        QCOMPARE(updateNoticeCountdown, 1);
        QTest::qWait(50);
        QVERIFY(notice_->isVisible());
        notice_->countDown();
        QCOMPARE(updateNoticeCountdown, 0);
        // Collapsing for 100 ms, then closed: hidden, not destroyed.
        QVERIFY(notice_->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!notice_->isVisible(), 2000);
        QVERIFY(shell_.openedUrls.isEmpty());
    }

    void closeButtonAndEscape_closeAtOnce_data()
    {
        QTest::addColumn<bool>("useEscape");
        QTest::newRow("close button") << false;
        QTest::newRow("escape") << true;
    }

    void closeButtonAndEscape_closeAtOnce()
    {
        QFETCH(bool, useEscape);
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        if (useEscape)
            QTest::keyClick(named<QToolButton>(*notice_, "closeButton"), Qt::Key_Escape);
        else
            QTest::mouseClick(named<QToolButton>(*notice_, "closeButton"), Qt::LeftButton);
        QVERIFY(!notice_->isVisible());
        QVERIFY(shell_.openedUrls.isEmpty());
        QVERIFY(!named<QTimer>(*notice_, "countdownTimer")->isActive());
    }

    void link_opensAddressAndClosesAtOnce_data()
    {
        QTest::addColumn<QString>("downloadUrl");
        QTest::addColumn<QString>("opened");
        const QString home = "https://kelmaro.example/";
        QTest::newRow("https") << "https://kelmaro.example/get/2.9" << "https://kelmaro.example/get/2.9";
        QTest::newRow("http") << "http://mirror.example/d.deb" << "http://mirror.example/d.deb";
        QTest::newRow("empty") << "" << home;
        QTest::newRow("file url") << "file:///etc/passwd" << home;
        QTest::newRow("local path") << "/usr/bin/xterm" << home;
        QTest::newRow("javascript") << "javascript:alert(1)" << home;
        QTest::newRow("program name") << "calc.exe" << home;
        QTest::newRow("other scheme") << "ftp://mirror.example/d.deb" << home;
        QTest::newRow("web scheme without host") << "https:///etc/passwd" << home;
    }

    void link_opensAddressAndClosesAtOnce()
    {
        QFETCH(QString, downloadUrl);
        QFETCH(QString, opened);
        DownloadURL = downloadUrl;
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        QTest::mouseClick(named<QLabel>(*notice_, "downloadLink"), Qt::LeftButton);
        QCOMPARE(shell_.openedUrls, QStringList{opened});
        QVERIFY(!notice_->isVisible());
    }

    void link_failingShell_stillCloses()
    {
        shell_.succeed = false;
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        notice_->openDownload();
        QVERIFY(!notice_->isVisible());
    }

    void link_lightsUpUnderThePointer()
    {
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        const QColor highlight = notice_->palette().color(QPalette::Highlight);
        const QColor text = notice_->palette().color(QPalette::WindowText);
        QVERIFY(highlight != text);
        QCursor::setPos(named<QLabel>(*notice_, "downloadLink")->mapToGlobal(named<QLabel>(*notice_, "downloadLink")->rect().center()));
        QTRY_COMPARE(named<QLabel>(*notice_, "downloadLink")->palette().color(QPalette::WindowText), highlight);
        QCursor::setPos(notice_->mapToGlobal(QPoint(-50, -50)));
        QTRY_COMPARE(named<QLabel>(*notice_, "downloadLink")->palette().color(QPalette::WindowText), text);
    }

    void drag_movesFromListedPartsWithAnyButtonButRight_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("picture, left") << "picture" << int(Qt::LeftButton) << true;
        QTest::newRow("title, middle") << "titleLabel" << int(Qt::MiddleButton) << true;
        QTest::newRow("border, left") << "frame" << int(Qt::LeftButton) << true;
        QTest::newRow("strip below button, left") << "closePanel" << int(Qt::LeftButton) << true;
        QTest::newRow("picture, right") << "picture" << int(Qt::RightButton) << false;
        QTest::newRow("link, left") << "downloadLink" << int(Qt::LeftButton) << false;
        QTest::newRow("link panel, left") << "textPanel" << int(Qt::LeftButton) << false;
    }

    void drag_movesFromListedPartsWithAnyButtonButRight()
    {
        QFETCH(QString, part);
        QFETCH(int, button);
        QFETCH(bool, moves);
        makeNotice();
        QTRY_VERIFY(notice_->isVisible());
        auto* target = notice_->findChild<QWidget*>(part);
        QVERIFY(target);
        const QPoint start = notice_->pos();
        // Below the close button on its strip; elsewhere the middle of the part.
        const QPoint at = target->mapToGlobal(part == "closePanel" ? QPoint(10, 50)
                                                               : QPoint(target->width() / 2, target->height() / 2));
        const auto b = Qt::MouseButton(button);
        sendMouse(target, QEvent::MouseButtonPress, b, at);
        sendMouse(target, QEvent::MouseMove, b, at + QPoint(30, 20));
        sendMouse(target, QEvent::MouseMove, b, at + QPoint(-10, 40));
        sendMouse(target, QEvent::MouseButtonRelease, b, at + QPoint(-10, 40));
        QCOMPARE(notice_->pos(), moves ? start + QPoint(-10, 40) : start);
        QVERIFY(!notice_->isDragging());
        QVERIFY(notice_->isVisible());
    }

private:
    void makeNotice() { notice_ = std::make_unique<UpdateNotice>(shell_, main_.get()); }

    RecordingShell shell_;
    std::unique_ptr<QWidget> main_;
    std::unique_ptr<UpdateNotice> notice_;
};

QTEST_MAIN(TestNewVer)
#include "tst_updatenotice.moc"

