#include "about.h"
#include "appform.h"
#include "feedback.h"

#include "errordialog.h"
#include "recording.h"
#include "registry.h"
#include "scriptedbrowser.h"
#include "services.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// The main window of the built program, with recording services and a browser
// that loads nothing.
struct MainWindow {
    MainWindow() : registry(dir.filePath(QStringLiteral("registry.json")))
    {
        dv::installErrorDialogs(&dialogs);
        AppParts parts;
        parts.executablePath = QStringLiteral(DV_EXECUTABLE_PATH);
        parts.browserFactory = [](QWidget* parent) { return std::make_unique<dv::test::ScriptedBrowser>(parent); };
        form = std::make_unique<TAppForm>(services, parts);
    }
    ~MainWindow() { dv::installErrorDialogs(nullptr); }

    QTemporaryDir dir;
    dv::test::RecordingDialogs dialogs;
    dv::test::RecordingShell shell;
    dv::RegistryStore registry;
    dv::Services services{dialogs, shell, registry};
    std::unique_ptr<TAppForm> form;
};

// Runs act on the modal window of type W once the event loop shows it.
template <typename W>
void whenModal(std::function<void(W*)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(window);
        }
    });
    poll->start();
}

} // namespace

class TestAboutMenus : public QObject {
    Q_OBJECT

private slots:
    void about_opensNewBoxEachTime_andFindsLicenseBesideProgram();
    void sendFeedback_opensEmptyFormEachTime();
};

void TestAboutMenus::about_opensNewBoxEachTime_andFindsLicenseBesideProgram()
{
    MainWindow main;
    const QString license
        = QFileInfo(QStringLiteral(DV_EXECUTABLE_PATH)).absolutePath() + QStringLiteral("/license.txt");
    QVERIFY2(QFileInfo(license).isFile(), "the build puts license.txt beside the program");

    QList<QPointer<TAboutBox>> boxes;
    for (int i = 0; i < 2; ++i) {
        whenModal<TAboutBox>([&boxes](TAboutBox* box) {
            boxes << box;
            box->LicensePrivacyPolicy1->trigger();
            box->BitBtn1->click();
        });
        main.form->About1->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(boxes.size(), 2);
    QVERIFY(boxes[0].isNull() && boxes[1].isNull());
    QCOMPARE(main.shell.openedTextFiles, QStringList({license, license}));
    QVERIFY(main.dialogs.messages.isEmpty());
}

void TestAboutMenus::sendFeedback_opensEmptyFormEachTime()
{
    MainWindow main;
    QStringList memosSeen;
    for (int i = 0; i < 2; ++i) {
        whenModal<TFeedbackForm>([&memosSeen](TFeedbackForm* form) {
            memosSeen << form->Memo1->toPlainText();
            form->Memo1->setPlainText(QStringLiteral("draft"));
            form->Image2Click();
            form->close();
        });
        main.form->SendFeedback1->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(memosSeen, QStringList({QString(), QString()}));
    QVERIFY(main.dialogs.messages.isEmpty());
}

QTEST_MAIN(TestAboutMenus)
#include "tst_aboutmenus.moc"
