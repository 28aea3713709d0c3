#include "feedbackwindow.h"
#include "named.h"

#include "dialogs.h"
#include "fakeservice.h"
#include "httpform.h"
#include "identity.h"
#include "recording.h"
#include "registry.h"
#include "services.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using dv::test::named;

using dv::test::FakeService;
using dv::test::ScriptedAnswer;
using dv::test::TestCertificates;

namespace {

enum class Choice { None, Like, Dislike, LikeThenDislike };

void deliverDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

Q_DECLARE_METATYPE(Choice)

class TestFeedback : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void create_showsDesignedTextsLimitsAndTabOrder();
    void memo_takesAtMost10000Characters();
    void choosing_likeThenDislike_leavesOnlyDislikeInChosenLook();
    void send_nothingChosenAndBlankText_onlyBeeps();
    void send_invalidEmail_showsFailureAndSendsNothing();
    void enter_sendsFromEmailBox_butStartsNewLineInMemo();
    void esc_inMemoEmailOrButton_closesAndDeletesForm_data();
    void esc_inMemoEmailOrButton_closesAndDeletesForm();

    void send_postsFieldsExactly_data();
    void send_postsFieldsExactly();
    void send_judgesTheTrimmedAnswer_data();
    void send_judgesTheTrimmedAnswer();
    void send_httpsAnswersOtherThanOk_failsWithoutPlainAttempt();
    void send_httpsUnreachableAndPlainOk_succeeds();
    void send_bothRoutesUnreachable_reportsFailure();
    void send_afterFailure_keepsContentsAndResendsSameFields();

private:
    FeedbackWindow* makeForm(dv::about::FormPoster poster = {});
    void fill(FeedbackWindow* form, Choice choice, const QString& memo, const QString& email);
    void expectFailureBox();
    void expectSuccessBox();

    QTemporaryDir certDir_;
    TestCertificates certs_;
    std::unique_ptr<dv::ScopedTestCertificateAuthority> trust_;
    std::unique_ptr<dv::test::RecordingDialogs> dialogs_;
    std::unique_ptr<dv::test::RecordingShell> shell_;
    std::unique_ptr<dv::RegistryStore> registry_;
    std::unique_ptr<dv::Services> services_;
};

void TestFeedback::initTestCase()
{
    AppCompany = QStringLiteral("KELMARO");
    AppProduct = QStringLiteral("Dorvantis");
    AppTitle = QStringLiteral("KELMARO - Dorvantis");
    AppVersion = QStringLiteral("2.8");
    QVERIFY(certDir_.isValid());
    certs_ = TestCertificates::create(certDir_.path());
    QVERIFY2(certs_.ok(), qPrintable(certs_.error));
    trust_ = std::make_unique<dv::ScopedTestCertificateAuthority>(certs_.caFile);
}

void TestFeedback::init()
{
    dialogs_ = std::make_unique<dv::test::RecordingDialogs>();
    shell_ = std::make_unique<dv::test::RecordingShell>();
    registry_ = std::make_unique<dv::RegistryStore>(dv::RegistryStore::defaultPath());
    services_ = std::make_unique<dv::Services>(dv::Services{*dialogs_, *shell_, *registry_});
    qputenv("DORVANTIS_WEB_HOST", "127.0.0.1:9");
}

void TestFeedback::cleanup()
{
    // Deleting a window also deletes its menus, which are top-level widgets too.
    QList<QPointer<FeedbackWindow>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<FeedbackWindow*>(w))
            windows << window;
    qDeleteAll(windows);
}

FeedbackWindow* TestFeedback::makeForm(dv::about::FormPoster poster)
{
    auto* form = new FeedbackWindow(*services_, nullptr, std::move(poster));
    form->show();
    return form;
}

void TestFeedback::fill(FeedbackWindow* form, Choice choice, const QString& memo, const QString& email)
{
    if (choice == Choice::Like || choice == Choice::LikeThenDislike)
        QTest::mouseClick(named<ChoicePanel>(*form, "likePanel"), Qt::LeftButton);
    if (choice == Choice::Dislike || choice == Choice::LikeThenDislike)
        QTest::mouseClick(named<ChoicePanel>(*form, "dislikePanel"), Qt::LeftButton);
    named<QPlainTextEdit>(*form, "feedbackText")->setPlainText(memo);
    named<QLineEdit>(*form, "emailEdit")->setText(email);
}

void TestFeedback::expectFailureBox()
{
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text,
        QStringLiteral("Something went wrong. Your feedback could not be delivered.\r\rPlease try again later."));
    QCOMPARE(dialogs_->messages[0].caption, QStringLiteral("Failure"));
    QCOMPARE(dialogs_->messages[0].flags, int(dv::MB_ICONERROR));
}

void TestFeedback::expectSuccessBox()
{
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, QStringLiteral("Your feedback is received.\r\rThank you!"));
    QCOMPARE(dialogs_->messages[0].caption, QStringLiteral("Success"));
    QCOMPARE(dialogs_->messages[0].flags, int(dv::MB_ICONINFORMATION));
}

void TestFeedback::create_showsDesignedTextsLimitsAndTabOrder()
{
    FeedbackWindow* form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Dorvantis feedback"));
    QCOMPARE(form->size(), QSize(525, 326));
    QCOMPARE(named<ChoicePanel>(*form, "likePanel")->text(), QStringLiteral("I like it!"));
    QCOMPARE(named<ChoicePanel>(*form, "dislikePanel")->text(), QStringLiteral("I dislike it!"));
    QCOMPARE(named<QLabel>(*form, "appreciationLabel")->text(), QStringLiteral("We would really appreciate your feedback."));
    QCOMPARE(named<QLabel>(*form, "questionLabel")->text(), QStringLiteral("What did you like or dislike?"));
    QCOMPARE(named<QLabel>(*form, "emailLabel")->text(), QStringLiteral("Include my e-mail:"));
    QCOMPARE(named<QPushButton>(*form, "sendButton")->text(), QStringLiteral("Send"));
    QVERIFY(named<QPushButton>(*form, "sendButton")->isDefault());
    QCOMPARE(named<QLineEdit>(*form, "emailEdit")->maxLength(), 100);
    QVERIFY(named<QPlainTextEdit>(*form, "feedbackText")->toPlainText().isEmpty());
    QVERIFY(!named<ChoicePanel>(*form, "likePanel")->isChosen() && !named<ChoicePanel>(*form, "dislikePanel")->isChosen());
    QVERIFY(!named<QLabel>(*form, "likePicture")->pixmap().isNull());
    QVERIFY(!named<QLabel>(*form, "dislikePicture")->pixmap().isNull());
    QVERIFY(!named<QPushButton>(*form, "sendButton")->icon().isNull());
    for (const char* name : {"choiceStrip", "likePanel", "likePicture", "dislikePanel", "dislikePicture", "appreciationLabel", "questionLabel", "feedbackText", "emailStrip",
             "emailLabel", "emailEdit", "buttonStrip", "sendButton"})
        QVERIFY2(form->findChild<QWidget*>(QLatin1String(name)), name);

    // Tab order: the memo, the e-mail, Send; then the two choices for keyboard users.
    QWidget* w = named<QPlainTextEdit>(*form, "feedbackText");
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(form));
    }
    QCOMPARE(order, QStringList({"feedbackText", "emailEdit", "sendButton", "likePanel", "dislikePanel"}));
    for (QWidget* focusable : {static_cast<QWidget*>(named<QPlainTextEdit>(*form, "feedbackText")), static_cast<QWidget*>(named<QLineEdit>(*form, "emailEdit")),
             static_cast<QWidget*>(named<ChoicePanel>(*form, "likePanel")), static_cast<QWidget*>(named<ChoicePanel>(*form, "dislikePanel"))})
        QVERIFY2(!focusable->accessibleName().isEmpty(), qPrintable(focusable->objectName()));
}

void TestFeedback::memo_takesAtMost10000Characters()
{
    FeedbackWindow* form = makeForm();
    named<QPlainTextEdit>(*form, "feedbackText")->insertPlainText(QString(9990, QLatin1Char('a')));
    named<QPlainTextEdit>(*form, "feedbackText")->insertPlainText(QString(20, QLatin1Char('b')) + QStringLiteral("tail"));
    const QString text = named<QPlainTextEdit>(*form, "feedbackText")->toPlainText();
    QCOMPARE(text.size(), 10000);
    QCOMPARE(text.right(10), QString(10, QLatin1Char('b')));
    named<QPlainTextEdit>(*form, "feedbackText")->setFocus();
    QTest::keyClicks(named<QPlainTextEdit>(*form, "feedbackText"), QStringLiteral("xyz"));
    QCOMPARE(named<QPlainTextEdit>(*form, "feedbackText")->toPlainText().size(), 10000);
}

void TestFeedback::choosing_likeThenDislike_leavesOnlyDislikeInChosenLook()
{
    FeedbackWindow* form = makeForm();
    const QPalette system = QApplication::palette(named<ChoicePanel>(*form, "likePanel"));
    auto expectLook = [&](ChoicePanel* panel, bool chosen) {
        const QPalette p = panel->palette();
        QCOMPARE(panel->isChosen(), chosen);
        QCOMPARE(p.color(QPalette::Window), system.color(chosen ? QPalette::Highlight : QPalette::Button));
        QCOMPARE(p.color(QPalette::WindowText),
            system.color(chosen ? QPalette::HighlightedText : QPalette::WindowText));
        QCOMPARE(panel->frameShadow(), chosen ? QFrame::Sunken : QFrame::Raised);
    };
    expectLook(named<ChoicePanel>(*form, "likePanel"), false);
    expectLook(named<ChoicePanel>(*form, "dislikePanel"), false);

    // The face picture passes its click to the panel.
    QTest::mouseClick(named<ChoicePanel>(*form, "likePanel"), Qt::LeftButton, {}, named<QLabel>(*form, "likePicture")->geometry().center());
    expectLook(named<ChoicePanel>(*form, "likePanel"), true);
    expectLook(named<ChoicePanel>(*form, "dislikePanel"), false);
    QTest::mouseClick(named<ChoicePanel>(*form, "likePanel"), Qt::LeftButton);
    expectLook(named<ChoicePanel>(*form, "likePanel"), true);

    QTest::mouseClick(named<ChoicePanel>(*form, "dislikePanel"), Qt::LeftButton);
    expectLook(named<ChoicePanel>(*form, "likePanel"), false);
    expectLook(named<ChoicePanel>(*form, "dislikePanel"), true);
    QCOMPARE(form->opinion(), dv::about::Opinion::Dislike);

    // Space on a focused panel chooses it too.
    named<ChoicePanel>(*form, "likePanel")->setFocus();
    QTest::keyClick(named<ChoicePanel>(*form, "likePanel"), Qt::Key_Space);
    expectLook(named<ChoicePanel>(*form, "likePanel"), true);
    expectLook(named<ChoicePanel>(*form, "dislikePanel"), false);
}

void TestFeedback::send_nothingChosenAndBlankText_onlyBeeps()
{
    int posts = 0;
    FeedbackWindow* form = makeForm([&posts](const QString&, const QStringList&, int) {
        ++posts;
        return QStringLiteral("OK");
    });
    fill(form, Choice::None, QStringLiteral("  \r\n \t\n"), QStringLiteral("not an address"));
    named<QPushButton>(*form, "sendButton")->click();
    QCOMPARE(dialogs_->beeps, 1);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(posts, 0);
    QVERIFY(form->isVisible());
}

void TestFeedback::send_invalidEmail_showsFailureAndSendsNothing()
{
    int posts = 0;
    FeedbackWindow* form = makeForm([&posts](const QString&, const QStringList&, int) {
        ++posts;
        return QStringLiteral("OK");
    });
    fill(form, Choice::Like, QStringLiteral("Nice"), QStringLiteral("  me@host  "));
    named<QPushButton>(*form, "sendButton")->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, QStringLiteral("Invalid e-mail address!"));
    QCOMPARE(dialogs_->messages[0].caption, QStringLiteral("Failure"));
    QCOMPARE(dialogs_->messages[0].flags, int(dv::MB_ICONERROR));
    QCOMPARE(posts, 0);
    QCOMPARE(dialogs_->beeps, 0);
    QVERIFY(form->isVisible());
    QCOMPARE(named<QLineEdit>(*form, "emailEdit")->text(), QStringLiteral("  me@host  "));
    QCOMPARE(named<QPlainTextEdit>(*form, "feedbackText")->toPlainText(), QStringLiteral("Nice"));
}

void TestFeedback::enter_sendsFromEmailBox_butStartsNewLineInMemo()
{
    QList<QStringList> posted;
    FeedbackWindow* form = makeForm([&posted](const QString&, const QStringList& fields, int) {
        posted << fields;
        return QStringLiteral("no");
    });
    form->activateWindow();
    fill(form, Choice::None, QStringLiteral("line"), QString());
    named<QPlainTextEdit>(*form, "feedbackText")->setFocus();
    named<QPlainTextEdit>(*form, "feedbackText")->moveCursor(QTextCursor::End);
    QTest::keyClick(named<QPlainTextEdit>(*form, "feedbackText"), Qt::Key_Return);
    QCOMPARE(named<QPlainTextEdit>(*form, "feedbackText")->toPlainText(), QStringLiteral("line\n"));
    QVERIFY(posted.isEmpty());

    named<QLineEdit>(*form, "emailEdit")->setFocus();
    QTest::keyClick(named<QLineEdit>(*form, "emailEdit"), Qt::Key_Return);
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted[0].value(3), QStringLiteral("feedback=line"));
}

void TestFeedback::esc_inMemoEmailOrButton_closesAndDeletesForm_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("memo") << "feedbackText";
    QTest::newRow("e-mail") << "emailEdit";
    QTest::newRow("send button") << "sendButton";
}

void TestFeedback::esc_inMemoEmailOrButton_closesAndDeletesForm()
{
    QFETCH(QString, control);
    QPointer<FeedbackWindow> form = makeForm();
    named<QPlainTextEdit>(*form, "feedbackText")->setPlainText(QStringLiteral("draft"));
    QWidget* target = form->findChild<QWidget*>(control);
    QVERIFY(target);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Escape);
    deliverDeferredDeletes();
    QVERIFY(form.isNull());
    QVERIFY(dialogs_->messages.isEmpty());
}

void TestFeedback::send_postsFieldsExactly_data()
{
    QTest::addColumn<Choice>("choice");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("email");
    QTest::addColumn<QByteArray>("body");
    const QByteArray head = "cmd=feedback&appname=KELMARO+-+Dorvantis&version=2.8&feedback=";
    QTest::newRow("like, empty text, no e-mail") << Choice::Like << "" << "" << head + "I+like+it%21%0D";
    QTest::newRow("dislike with text and trimmed e-mail")
        << Choice::Dislike << "  slow start\n" << "  me.too+x@mail.example.org "
        << head + "I+dislike+it%21%0Dslow+start&email=me.too%2Bx%40mail.example.org";
    QTest::newRow("like then dislike sends only dislike")
        << Choice::LikeThenDislike << "" << "" << head + "I+dislike+it%21%0D";
    QTest::newRow("text only, no choice") << Choice::None << "50% & more" << ""
                                          << head + "50%25+%26+more";
}

void TestFeedback::send_postsFieldsExactly()
{
    QFETCH(Choice, choice);
    QFETCH(QString, memo);
    QFETCH(QString, email);
    QFETCH(QByteArray, body);

    FakeService service(&certs_);
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("DORVANTIS_WEB_HOST", service.hostPort().toUtf8());
    service.setAnswer(ScriptedAnswer::text("OK"));

    QPointer<FeedbackWindow> form = makeForm();
    fill(form, choice, memo, email);
    named<QPushButton>(*form, "sendButton")->click();

    const QList<dv::test::ReceivedRequest> requests = service.requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests[0].tls);
    QCOMPARE(requests[0].method, QByteArray("POST"));
    QCOMPARE(requests[0].path, QByteArray("/php/feedback.php"));
    QCOMPARE(requests[0].body, body);
    expectSuccessBox();
    deliverDeferredDeletes();
    QVERIFY(form.isNull());
}

void TestFeedback::send_judgesTheTrimmedAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("received");
    QTest::newRow("OK") << QByteArray("OK") << true;
    QTest::newRow("OK and line break") << QByteArray("OK\r\n") << true;
    QTest::newRow("OK within spaces") << QByteArray("   OK \t") << true;
    QTest::newRow("lower case") << QByteArray("ok") << false;
    QTest::newRow("full stop") << QByteArray("OK.") << false;
    QTest::newRow("second line") << QByteArray("OK\nqueued") << false;
}

void TestFeedback::send_judgesTheTrimmedAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, received);

    FakeService service(&certs_);
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("DORVANTIS_WEB_HOST", service.hostPort().toUtf8());
    service.setAnswer(ScriptedAnswer::text(answer));

    QPointer<FeedbackWindow> form = makeForm();
    fill(form, Choice::Like, QStringLiteral("fine"), QString());
    named<QPushButton>(*form, "sendButton")->click();
    deliverDeferredDeletes();

    QCOMPARE(service.requests().size(), 1);
    if (received) {
        expectSuccessBox();
        QVERIFY(form.isNull());
    } else {
        expectFailureBox();
        QVERIFY(!form.isNull());
        QVERIFY(form->isVisible());
    }
}

void TestFeedback::send_httpsAnswersOtherThanOk_failsWithoutPlainAttempt()
{
    FakeService service(&certs_);
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("DORVANTIS_WEB_HOST", service.hostPort().toUtf8());
    service.setAnswer(ScriptedAnswer::text("<h1>Internal error</h1>", "text/html", 500));

    FeedbackWindow* form = makeForm();
    fill(form, Choice::Dislike, QString(), QString());
    named<QPushButton>(*form, "sendButton")->click();

    QCOMPARE(service.requests().size(), 1);
    QVERIFY(service.requests()[0].tls);
    QCOMPARE(service.connectionCount(), 1);
    expectFailureBox();
}

void TestFeedback::send_httpsUnreachableAndPlainOk_succeeds()
{
    // Without certificates the service turns TLS away, as a plain web server would.
    FakeService service;
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("DORVANTIS_WEB_HOST", service.hostPort().toUtf8());
    service.setAnswer(ScriptedAnswer::text("OK\n"));

    QPointer<FeedbackWindow> form = makeForm();
    fill(form, Choice::Like, QStringLiteral("works"), QStringLiteral("a@b.c"));
    named<QPushButton>(*form, "sendButton")->click();

    const QList<dv::test::ReceivedRequest> requests = service.requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(!requests[0].tls);
    QCOMPARE(requests[0].version, QByteArray("HTTP/1.0"));
    QCOMPARE(requests[0].path, QByteArray("/php/feedback.php"));
    QCOMPARE(requests[0].body,
        QByteArray("cmd=feedback&appname=KELMARO+-+Dorvantis&version=2.8&feedback=I+like+it%21%0Dworks&email=a%40b.c"));
    QCOMPARE(service.connectionCount(), 2);
    expectSuccessBox();
    deliverDeferredDeletes();
    QVERIFY(form.isNull());
}

void TestFeedback::send_bothRoutesUnreachable_reportsFailure()
{
    qputenv("DORVANTIS_WEB_HOST", "127.0.0.1:9");
    FeedbackWindow* form = makeForm();
    fill(form, Choice::Like, QString(), QString());
    named<QPushButton>(*form, "sendButton")->click();
    expectFailureBox();
    QVERIFY(form->isVisible());
}

void TestFeedback::send_afterFailure_keepsContentsAndResendsSameFields()
{
    FakeService service(&certs_);
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("DORVANTIS_WEB_HOST", service.hostPort().toUtf8());
    std::atomic<int> answered{0};
    service.setHandler([&answered](const dv::test::ReceivedRequest&) {
        return ScriptedAnswer::text(answered++ == 0 ? "busy" : "OK");
    });

    QPointer<FeedbackWindow> form = makeForm();
    fill(form, Choice::Dislike, QStringLiteral("Crashes on start"), QStringLiteral("x@y.z"));
    named<QPushButton>(*form, "sendButton")->click();
    expectFailureBox();
    QVERIFY(!form.isNull());
    QCOMPARE(named<QPlainTextEdit>(*form, "feedbackText")->toPlainText(), QStringLiteral("Crashes on start"));
    QCOMPARE(named<QLineEdit>(*form, "emailEdit")->text(), QStringLiteral("x@y.z"));
    QVERIFY(named<ChoicePanel>(*form, "dislikePanel")->isChosen());

    dialogs_->messages.clear();
    named<QPushButton>(*form, "sendButton")->click();
    expectSuccessBox();
    const QList<dv::test::ReceivedRequest> requests = service.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].body, requests[0].body);
    QVERIFY(requests[0].body.endsWith("&email=x%40y.z"));
}

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"

