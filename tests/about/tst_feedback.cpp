#include "feedback.h"

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
    TFeedbackForm* makeForm(dv::about::FormPoster poster = {});
    void fill(TFeedbackForm* form, Choice choice, const QString& memo, const QString& email);
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
    QList<QPointer<TFeedbackForm>> windows;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<TFeedbackForm*>(w))
            windows << window;
    qDeleteAll(windows);
}

TFeedbackForm* TestFeedback::makeForm(dv::about::FormPoster poster)
{
    auto* form = new TFeedbackForm(*services_, nullptr, std::move(poster));
    form->show();
    return form;
}

void TestFeedback::fill(TFeedbackForm* form, Choice choice, const QString& memo, const QString& email)
{
    if (choice == Choice::Like || choice == Choice::LikeThenDislike)
        QTest::mouseClick(form->Panel4, Qt::LeftButton);
    if (choice == Choice::Dislike || choice == Choice::LikeThenDislike)
        QTest::mouseClick(form->Panel5, Qt::LeftButton);
    form->Memo1->setPlainText(memo);
    form->Edit1->setText(email);
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
    TFeedbackForm* form = makeForm();
    QCOMPARE(form->windowTitle(), QStringLiteral("Dorvantis feedback"));
    QCOMPARE(form->size(), QSize(525, 326));
    QCOMPARE(form->Panel4->text(), QStringLiteral("I like it!"));
    QCOMPARE(form->Panel5->text(), QStringLiteral("I dislike it!"));
    QCOMPARE(form->Label1->text(), QStringLiteral("We would really appreciate your feedback."));
    QCOMPARE(form->Label2->text(), QStringLiteral("What did you like or dislike?"));
    QCOMPARE(form->Label3->text(), QStringLiteral("Include my e-mail:"));
    QCOMPARE(form->BitBtn1->text(), QStringLiteral("Send"));
    QVERIFY(form->BitBtn1->isDefault());
    QCOMPARE(form->Edit1->maxLength(), 100);
    QVERIFY(form->Memo1->toPlainText().isEmpty());
    QVERIFY(!form->Panel4->isChosen() && !form->Panel5->isChosen());
    QVERIFY(!form->Image1->pixmap().isNull());
    QVERIFY(!form->Image2->pixmap().isNull());
    QVERIFY(!form->BitBtn1->icon().isNull());
    for (const char* name : {"Panel3", "Panel4", "Image1", "Panel5", "Image2", "Label1", "Label2", "Memo1", "Panel1",
             "Label3", "Edit1", "Panel2", "BitBtn1"})
        QVERIFY2(form->findChild<QWidget*>(QLatin1String(name)), name);

    // Tab order: the memo, the e-mail, Send; then the two choices for keyboard users.
    QWidget* w = form->Memo1;
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(form));
    }
    QCOMPARE(order, QStringList({"Memo1", "Edit1", "BitBtn1", "Panel4", "Panel5"}));
    for (QWidget* focusable : {static_cast<QWidget*>(form->Memo1), static_cast<QWidget*>(form->Edit1),
             static_cast<QWidget*>(form->Panel4), static_cast<QWidget*>(form->Panel5)})
        QVERIFY2(!focusable->accessibleName().isEmpty(), qPrintable(focusable->objectName()));
}

void TestFeedback::memo_takesAtMost10000Characters()
{
    TFeedbackForm* form = makeForm();
    form->Memo1->insertPlainText(QString(9990, QLatin1Char('a')));
    form->Memo1->insertPlainText(QString(20, QLatin1Char('b')) + QStringLiteral("tail"));
    const QString text = form->Memo1->toPlainText();
    QCOMPARE(text.size(), 10000);
    QCOMPARE(text.right(10), QString(10, QLatin1Char('b')));
    form->Memo1->setFocus();
    QTest::keyClicks(form->Memo1, QStringLiteral("xyz"));
    QCOMPARE(form->Memo1->toPlainText().size(), 10000);
}

void TestFeedback::choosing_likeThenDislike_leavesOnlyDislikeInChosenLook()
{
    TFeedbackForm* form = makeForm();
    const QPalette system = QApplication::palette(form->Panel4);
    auto expectLook = [&](TChoicePanel* panel, bool chosen) {
        const QPalette p = panel->palette();
        QCOMPARE(panel->isChosen(), chosen);
        QCOMPARE(p.color(QPalette::Window), system.color(chosen ? QPalette::Highlight : QPalette::Button));
        QCOMPARE(p.color(QPalette::WindowText),
            system.color(chosen ? QPalette::HighlightedText : QPalette::WindowText));
        QCOMPARE(panel->frameShadow(), chosen ? QFrame::Sunken : QFrame::Raised);
    };
    expectLook(form->Panel4, false);
    expectLook(form->Panel5, false);

    // The face picture passes its click to the panel.
    QTest::mouseClick(form->Panel4, Qt::LeftButton, {}, form->Image1->geometry().center());
    expectLook(form->Panel4, true);
    expectLook(form->Panel5, false);
    QTest::mouseClick(form->Panel4, Qt::LeftButton);
    expectLook(form->Panel4, true);

    QTest::mouseClick(form->Panel5, Qt::LeftButton);
    expectLook(form->Panel4, false);
    expectLook(form->Panel5, true);
    QCOMPARE(form->opinion(), dv::about::Opinion::Dislike);

    // Space on a focused panel chooses it too.
    form->Panel4->setFocus();
    QTest::keyClick(form->Panel4, Qt::Key_Space);
    expectLook(form->Panel4, true);
    expectLook(form->Panel5, false);
}

void TestFeedback::send_nothingChosenAndBlankText_onlyBeeps()
{
    int posts = 0;
    TFeedbackForm* form = makeForm([&posts](const QString&, const QStringList&, int) {
        ++posts;
        return QStringLiteral("OK");
    });
    fill(form, Choice::None, QStringLiteral("  \r\n \t\n"), QStringLiteral("not an address"));
    form->BitBtn1->click();
    QCOMPARE(dialogs_->beeps, 1);
    QVERIFY(dialogs_->messages.isEmpty());
    QCOMPARE(posts, 0);
    QVERIFY(form->isVisible());
}

void TestFeedback::send_invalidEmail_showsFailureAndSendsNothing()
{
    int posts = 0;
    TFeedbackForm* form = makeForm([&posts](const QString&, const QStringList&, int) {
        ++posts;
        return QStringLiteral("OK");
    });
    fill(form, Choice::Like, QStringLiteral("Nice"), QStringLiteral("  me@host  "));
    form->BitBtn1->click();
    QCOMPARE(dialogs_->messages.size(), 1);
    QCOMPARE(dialogs_->messages[0].text, QStringLiteral("Invalid e-mail address!"));
    QCOMPARE(dialogs_->messages[0].caption, QStringLiteral("Failure"));
    QCOMPARE(dialogs_->messages[0].flags, int(dv::MB_ICONERROR));
    QCOMPARE(posts, 0);
    QCOMPARE(dialogs_->beeps, 0);
    QVERIFY(form->isVisible());
    QCOMPARE(form->Edit1->text(), QStringLiteral("  me@host  "));
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Nice"));
}

void TestFeedback::enter_sendsFromEmailBox_butStartsNewLineInMemo()
{
    QList<QStringList> posted;
    TFeedbackForm* form = makeForm([&posted](const QString&, const QStringList& fields, int) {
        posted << fields;
        return QStringLiteral("no");
    });
    form->activateWindow();
    fill(form, Choice::None, QStringLiteral("line"), QString());
    form->Memo1->setFocus();
    form->Memo1->moveCursor(QTextCursor::End);
    QTest::keyClick(form->Memo1, Qt::Key_Return);
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("line\n"));
    QVERIFY(posted.isEmpty());

    form->Edit1->setFocus();
    QTest::keyClick(form->Edit1, Qt::Key_Return);
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted[0].value(3), QStringLiteral("feedback=line"));
}

void TestFeedback::esc_inMemoEmailOrButton_closesAndDeletesForm_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("memo") << "Memo1";
    QTest::newRow("e-mail") << "Edit1";
    QTest::newRow("send button") << "BitBtn1";
}

void TestFeedback::esc_inMemoEmailOrButton_closesAndDeletesForm()
{
    QFETCH(QString, control);
    QPointer<TFeedbackForm> form = makeForm();
    form->Memo1->setPlainText(QStringLiteral("draft"));
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

    QPointer<TFeedbackForm> form = makeForm();
    fill(form, choice, memo, email);
    form->BitBtn1->click();

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

    QPointer<TFeedbackForm> form = makeForm();
    fill(form, Choice::Like, QStringLiteral("fine"), QString());
    form->BitBtn1->click();
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

    TFeedbackForm* form = makeForm();
    fill(form, Choice::Dislike, QString(), QString());
    form->BitBtn1->click();

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

    QPointer<TFeedbackForm> form = makeForm();
    fill(form, Choice::Like, QStringLiteral("works"), QStringLiteral("a@b.c"));
    form->BitBtn1->click();

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
    TFeedbackForm* form = makeForm();
    fill(form, Choice::Like, QString(), QString());
    form->BitBtn1->click();
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

    QPointer<TFeedbackForm> form = makeForm();
    fill(form, Choice::Dislike, QStringLiteral("Crashes on start"), QStringLiteral("x@y.z"));
    form->BitBtn1->click();
    expectFailureBox();
    QVERIFY(!form.isNull());
    QCOMPARE(form->Memo1->toPlainText(), QStringLiteral("Crashes on start"));
    QCOMPARE(form->Edit1->text(), QStringLiteral("x@y.z"));
    QVERIFY(form->Panel5->isChosen());

    dialogs_->messages.clear();
    form->BitBtn1->click();
    expectSuccessBox();
    const QList<dv::test::ReceivedRequest> requests = service.requests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[1].body, requests[0].body);
    QVERIFY(requests[0].body.endsWith("&email=x%40y.z"));
}

QTEST_MAIN(TestFeedback)
#include "tst_feedback.moc"
