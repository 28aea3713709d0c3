#include "windowfixture.h"
#include "aboutbox.h"
#include "modal.h"
#include "named.h"
#include "mainwindow.h"
#include "feedbackwindow.h"

#include "errordialog.h"
#include "recording.h"
#include "registry.h"
#include "scriptedpagesource.h"
#include "services.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using dv::test::whenModal;
using dv::test::named;

namespace {

// The main window of the built program, with recording services and a browser
// that loads nothing.
using MainWindowFixture = dv::test::ScriptedWindowFixture;

} // namespace

class TestAboutMenus : public QObject {
    Q_OBJECT

private slots:
    void about_opensNewBoxEachTime_andFindsLicenseBesideProgram();
    void sendFeedback_opensEmptyFormEachTime();
};

void TestAboutMenus::about_opensNewBoxEachTime_andFindsLicenseBesideProgram()
{
    MainWindowFixture main;
    const QString license
        = QFileInfo(QStringLiteral(DV_EXECUTABLE_PATH)).absolutePath() + QStringLiteral("/license.txt");
    QVERIFY2(QFileInfo(license).isFile(), "the build puts license.txt beside the program");

    QList<QPointer<AboutBox>> boxes;
    for (int i = 0; i < 2; ++i) {
        whenModal<AboutBox>([&boxes](AboutBox* box) {
            boxes << box;
            named<QAction>(*box, "licenseAction")->trigger();
            named<QPushButton>(*box, "okButton")->click();
        });
        named<QAction>(*main.form, "aboutAction")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0].isNull() && boxes[1].isNull());
    QCOMPARE(main.shell.openedTextFiles, QStringList({license, license}));
    QVERIFY(main.dialogs.messages.isEmpty());
}

void TestAboutMenus::sendFeedback_opensEmptyFormEachTime()
{
    MainWindowFixture main;
    QStringList memosSeen;
    for (int i = 0; i < 2; ++i) {
        whenModal<FeedbackWindow>([&memosSeen](FeedbackWindow* form) {
            memosSeen << named<QPlainTextEdit>(*form, "feedbackText")->toPlainText();
            named<QPlainTextEdit>(*form, "feedbackText")->setPlainText(QStringLiteral("draft"));
            form->chooseDislike();
            form->close();
        });
        named<QAction>(*main.form, "sendFeedbackAction")->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(memosSeen, QStringList({QString(), QString()}));
    QVERIFY(main.dialogs.messages.isEmpty());
}

QTEST_MAIN(TestAboutMenus)
#include "tst_aboutmenus.moc"

