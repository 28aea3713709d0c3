#include "sending.h"

#include "errors.h"

#include <QtTest>

#include <optional>
#include <stdexcept>

using dv::about::DeliverFeedback;
using dv::about::FeedbackFields;
using dv::about::FeedbackText;
using dv::about::IsReceivedAnswer;
using dv::about::IsValidEmail;
using dv::about::Opinion;
using dv::about::TrimControl;

Q_DECLARE_METATYPE(Opinion)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// A poster that records its calls and answers from a script: a text, or an
// error when the entry is null.
struct ScriptedPoster {
    QList<std::optional<QString>> answers;
    QStringList addresses;
    QList<QStringList> fieldLists;
    QList<int> timeouts;

    dv::about::FormPoster poster()
    {
        return [this](const QString& address, const QStringList& fields, int timeoutMs) {
            addresses << address;
            fieldLists << fields;
            timeouts << timeoutMs;
            const std::optional<QString> answer = answers.isEmpty() ? std::nullopt : answers.takeFirst();
            if (!answer)
                throw dv::AppError(QStringLiteral("Connection refused"));
            return *answer;
        };
    }
};

} // namespace

class TestSending : public QObject {
    Q_OBJECT

private slots:
    void init() { qputenv("DORVANTIS_WEB_HOST", "feedback.test"); }

    void isValidEmail_acceptsOnlyPlainAsciiAddresses_data();
    void isValidEmail_acceptsOnlyPlainAsciiAddresses();
    void trimControl_removesControlCharactersButNotOtherSpaces_data();
    void trimControl_removesControlCharactersButNotOtherSpaces();
    void feedbackText_startsWithTheChoiceAndATrimmedMemo_data();
    void feedbackText_startsWithTheChoiceAndATrimmedMemo();
    void feedbackFields_listsEmailOnlyWhenGiven();
    void isReceivedAnswer_acceptsOnlyOkOnceTrimmed_data();
    void isReceivedAnswer_acceptsOnlyOkOnceTrimmed();
    void deliver_httpsAnswering_makesNoPlainAttempt_data();
    void deliver_httpsAnswering_makesNoPlainAttempt();
    void deliver_httpsFailing_triesPlainOnceWithSameFields_data();
    void deliver_httpsFailing_triesPlainOnceWithSameFields();
    void deliver_anyKindOfError_countsAsNotDelivered();
};

void TestSending::isValidEmail_acceptsOnlyPlainAsciiAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("shortest") << "a@b.c" << true;
    QTest::newRow("dots and plus, three labels") << "first.last+tag@mail.example.org" << true;
    QTest::newRow("hyphens and digits") << "x_y-1@my-host9.co-uk" << true;
    QTest::newRow("no dot after at") << "a@bc" << false;
    QTest::newRow("dot last") << "a@b.c." << false;
    QTest::newRow("underscore in first domain label") << "a@b_c.d" << false;
    QTest::newRow("space inside local part") << "a b@c.d" << false;
    QTest::newRow("space inside domain") << "a@c .d" << false;
    QTest::newRow("non-ASCII letter in local part") << QString::fromUtf8("jos\xc3\xa9@b.c") << false;
    QTest::newRow("non-ASCII letter in domain") << QString::fromUtf8("a@b\xc3\xa9.c") << false;
    QTest::newRow("no local part") << "@b.c" << false;
    QTest::newRow("two at signs") << "a@b@c.d" << false;
    QTest::newRow("text before") << "<a@b.c" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSending::isValidEmail_acceptsOnlyPlainAsciiAddresses()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidEmail(text), valid);
}

void TestSending::trimControl_removesControlCharactersButNotOtherSpaces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::newRow("spaces and line breaks") << " \r\n\t a b \r\n" << "a b";
    QTest::newRow("other control characters") << QStringLiteral("\x01\x1f" "x" "\x7f") << QStringLiteral("x\x7f");
    QTest::newRow("no-break space kept") << QStringLiteral("\u00a0x\u00a0") << QStringLiteral("\u00a0x\u00a0");
    QTest::newRow("only blanks") << " \n \t" << "";
}

void TestSending::trimControl_removesControlCharactersButNotOtherSpaces()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QCOMPARE(TrimControl(text), trimmed);
}

void TestSending::feedbackText_startsWithTheChoiceAndATrimmedMemo_data()
{
    QTest::addColumn<Opinion>("opinion");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing chosen, blank memo") << Opinion::None << " \r\n  \n" << "";
    QTest::newRow("like, empty memo") << Opinion::Like << "" << "I like it!\r";
    QTest::newRow("dislike, empty memo") << Opinion::Dislike << "" << "I dislike it!\r";
    QTest::newRow("like with text") << Opinion::Like << "\n  Great tool.\nThanks \n"
                                    << "I like it!\rGreat tool.\nThanks";
    QTest::newRow("text only") << Opinion::None << " hi " << "hi";
}

void TestSending::feedbackText_startsWithTheChoiceAndATrimmedMemo()
{
    QFETCH(Opinion, opinion);
    QFETCH(QString, memo);
    QFETCH(QString, text);
    QCOMPARE(FeedbackText(opinion, memo), text);
}

void TestSending::feedbackFields_listsEmailOnlyWhenGiven()
{
    const QString title = QStringLiteral("KELMARO - Dorvantis");
    QCOMPARE(FeedbackFields(title, "2.8", "I like it!\r", ""),
        QStringList({"cmd=feedback", "appname=KELMARO - Dorvantis", "version=2.8", "feedback=I like it!\r"}));
    QCOMPARE(FeedbackFields(title, "2.8", "x=y", "a@b.c"),
        QStringList({"cmd=feedback", "appname=KELMARO - Dorvantis", "version=2.8", "feedback=x=y", "email=a@b.c"}));
}

void TestSending::isReceivedAnswer_acceptsOnlyOkOnceTrimmed_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("received");
    QTest::newRow("OK") << "OK" << true;
    QTest::newRow("OK and line break") << "OK\r\n" << true;
    QTest::newRow("OK within spaces") << "  OK  " << true;
    QTest::newRow("lower case") << "ok" << false;
    QTest::newRow("full stop") << "OK." << false;
    QTest::newRow("second line") << "OK\nsaved" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("error page") << "<html>500</html>" << false;
}

void TestSending::isReceivedAnswer_acceptsOnlyOkOnceTrimmed()
{
    QFETCH(QString, answer);
    QFETCH(bool, received);
    QCOMPARE(IsReceivedAnswer(answer), received);
}

void TestSending::deliver_httpsAnswering_makesNoPlainAttempt_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("OK") << "OK\n" << true;
    QTest::newRow("anything else") << "Server busy" << false;
    QTest::newRow("empty answer") << "" << false;
}

void TestSending::deliver_httpsAnswering_makesNoPlainAttempt()
{
    QFETCH(QString, answer);
    QFETCH(bool, delivered);
    ScriptedPoster post;
    post.answers = {answer, QStringLiteral("OK")};
    const QStringList fields{"cmd=feedback", "feedback=x"};
    QCOMPARE(DeliverFeedback(post.poster(), fields), delivered);
    QCOMPARE(post.addresses, QStringList({"https://feedback.test/php/feedback.php"}));
    QCOMPARE(post.timeouts, QList<int>({3000}));
}

void TestSending::deliver_httpsFailing_triesPlainOnceWithSameFields_data()
{
    QTest::addColumn<std::optional<QString>>("plainAnswer");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("plain answers OK") << std::optional<QString>(QStringLiteral(" OK ")) << true;
    QTest::newRow("plain answers something else") << std::optional<QString>(QStringLiteral("NO")) << false;
    QTest::newRow("plain fails too") << std::optional<QString>() << false;
}

void TestSending::deliver_httpsFailing_triesPlainOnceWithSameFields()
{
    QFETCH(std::optional<QString>, plainAnswer);
    QFETCH(bool, delivered);
    ScriptedPoster post;
    post.answers = {std::nullopt, plainAnswer, QStringLiteral("OK")};
    const QStringList fields{"cmd=feedback", "appname=A - B", "version=1.0", "feedback=x"};
    QCOMPARE(DeliverFeedback(post.poster(), fields), delivered);
    QCOMPARE(post.addresses,
        QStringList({"https://feedback.test/php/feedback.php", "http://feedback.test/php/feedback.php"}));
    QCOMPARE(post.fieldLists, QList<QStringList>({fields, fields}));
    QCOMPARE(post.timeouts, QList<int>({3000, 3000}));
}

void TestSending::deliver_anyKindOfError_countsAsNotDelivered()
{
    int calls = 0;
    const dv::about::FormPoster throwsOther = [&calls](const QString&, const QStringList&, int) -> QString {
        ++calls;
        throw std::runtime_error("out of buffers");
    };
    QVERIFY(!DeliverFeedback(throwsOther, {"cmd=feedback"}));
    QCOMPARE(calls, 2);
}

QTEST_GUILESS_MAIN(TestSending)
#include "tst_sending.moc"
