// The update check against a fake service on loopback, with a fixed "today".
#include "check.h"
#include "fakeservice.h"
#include "httpform.h"
#include "recording.h"
#include "registry.h"
#include "settings.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using dv::test::FakeService;
using dv::test::RecordingDialogs;
using dv::test::ScriptedAnswer;
using dv::test::TestCertificates;

namespace {

const QString Title = QStringLiteral("KELMARO - Dorvantis");
const QString Section = QStringLiteral("Settings");
const QString Today = QStringLiteral("10.12.2026");
const QString Yesterday = QStringLiteral("09.12.2026");
const QString Download = QStringLiteral("https://kelmaro.example/download/dorvantis-2.9.deb");

// An answer in the service's format; line 5 only when important is given.
QByteArray serviceAnswer(const QString& version, const QString& url = Download,
                         const std::optional<QString>& important = std::nullopt)
{
    QString text = "<version>" + version + "</version>\r\n<url>" + url
        + "</url>\r\n<date>2026-12-01</date>\r\n<status>OK</status>\r\n<notes>faster printing</notes>";
    if (important)
        text += "\r\n<important>" + *important + "</important>";
    return text.toUtf8() + "\r\n";
}

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // ---- the answer and the request ----
    void tagValue_takesTextBetweenExactTags_data();
    void tagValue_takesTextBetweenExactTags();
    void answerLines_splitAtAnyLineBreak_data();
    void answerLines_splitAtAnyLineBreak();
    void answerAccepted_needsFourLinesAndCompleteMark_data();
    void answerAccepted_needsFourLinesAndCompleteMark();
    void osDescription_keepsTheVersionLineForm_data();
    void osDescription_keepsTheVersionLineForm();
    void localeTag_isLanguageRegionOrXx_data();
    void localeTag_isLanguageRegionOrXx();
    void request_arrivesWithFieldsInOrder();

    // ---- runs of the check ----
    void firstRun_sameVersion_storesTodayAndCountOneWithoutNotice();
    void newerVersion_followsTheDailyRhythm_data();
    void newerVersion_followsTheDailyRhythm();
    void olderVersion_opensNotice();
    void nonNumericVersion_storedButNoNotice();
    void refusedAnswer_storesNothingAndShowsNothing_data();
    void refusedAnswer_storesNothingAndShowsNothing();
    void blankAfterClosingTag_givesEmptyVersion();
    void httpsFailing_httpAnswerIsUsed();
    void httpsAnswering_noHttpAttempt();
    void bothAttemptsFailing_storesNothing();
    void drippingService_endsWithinTheBoundAndStoresNothing();
    void showUpdateZero_asksNothingAndKeepsStoredUrl();
    void showUpdateOfNumberType_readsAsOne();
    void showUpdateTwo_asksAndStoresWithoutNotice();
    void importantLine_showsWarningOnlyWhenNotBlank_data();
    void importantLine_showsWarningOnlyWhenNotBlank();
    void changedDateFormat_countsAsNewDay();
    void storedUrlNotHex_givesEmptyDownloadUrl();

private:
    dv::CheckConfig config(const QString& today = Today);
    dv::SettingsStore store() { return dv::SettingsStore(*registry_, Title); }
    QString stored(const QString& name) { return store().ReadString(Section, name, "<missing>"); }
    void seed(const QString& name, const QString& value) { store().WriteString(Section, name, value); }

    QTemporaryDir certDir_;
    TestCertificates certs_;
    std::unique_ptr<dv::ScopedTestCertificateAuthority> trust_;
    QTemporaryDir dir_;
    int run_ = 0;
    std::unique_ptr<dv::RegistryStore> registry_;
    std::unique_ptr<FakeService> service_;
    RecordingDialogs dialogs_;
};

void TestUpdateCheck::initTestCase()
{
    certs_ = TestCertificates::create(certDir_.path());
    QVERIFY2(certs_.ok(), qPrintable(certs_.error));
    trust_ = std::make_unique<dv::ScopedTestCertificateAuthority>(certs_.caFile);
}

void TestUpdateCheck::init()
{
    dv::ResetUpdateCheckState();
    registry_ = std::make_unique<dv::RegistryStore>(dir_.filePath(QString("registry-%1.json").arg(++run_)));
    service_ = std::make_unique<FakeService>(&certs_);
    QVERIFY(service_->start());
    dialogs_ = RecordingDialogs();
}

void TestUpdateCheck::cleanup()
{
    service_.reset();
    dv::ResetUpdateCheckState();
}

dv::CheckConfig TestUpdateCheck::config(const QString& today)
{
    dv::CheckConfig c;
    c.registry = *registry_;
    c.dialogs = &dialogs_;
    c.httpsAddress = service_->url("https", "/php/check2.php");
    c.httpAddress = service_->url("http", "/php/check2.php");
    c.today = [today] { return today; };
    c.appTitle = Title;
    c.appVersion = "2.8";
    c.os = "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)";
    c.locale = "en-US";
    c.timeoutMs = 3000;
    return c;
}

// ---- the answer and the request ----

void TestUpdateCheck::tagValue_takesTextBetweenExactTags_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "<version>2.9</version>" << "version" << "2.9";
    QTest::newRow("empty value") << "<url></url>" << "url" << "";
    QTest::newRow("tag given in capitals") << "<url>x</url>" << "URL" << "x";
    QTest::newRow("line in capitals") << "<URL>x</URL>" << "url" << "";
    QTest::newRow("blank after closing tag") << "<version>2.9</version> " << "version" << "";
    QTest::newRow("blank before opening tag") << " <version>2.9</version>" << "version" << "";
    QTest::newRow("other tag") << "<url>x</url>" << "version" << "";
    QTest::newRow("too short to hold both") << "<a>/a>" << "a" << "";
    QTest::newRow("inner tags kept") << "<important><b>x</b></important>" << "important" << "<b>x</b>";
    QTest::newRow("empty line") << "" << "url" << "";
    QTest::newRow("empty tag") << "<>x</>" << "" << "";
}

void TestUpdateCheck::tagValue_takesTextBetweenExactTags()
{
    QFETCH(QString, line);
    QFETCH(QString, tag);
    QFETCH(QString, value);
    QCOMPARE(dv::TagValue(line, tag), value);
}

void TestUpdateCheck::answerLines_splitAtAnyLineBreak_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("crlf") << "a\r\nb\r\n" << QStringList{"a", "b"};
    QTest::newRow("cr") << "a\rb" << QStringList{"a", "b"};
    QTest::newRow("lf") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("mixed with empty line") << "a\n\r\nb" << QStringList{"a", "", "b"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one break") << "\n" << QStringList{""};
}

void TestUpdateCheck::answerLines_splitAtAnyLineBreak()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, lines);
    QCOMPARE(dv::AnswerLines(answer), lines);
}

void TestUpdateCheck::answerAccepted_needsFourLinesAndCompleteMark_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("complete") << QString::fromUtf8(serviceAnswer("2.9")) << true;
    QTest::newRow("four lines") << "a\nb\nc\n<status>OK</status>" << true;
    QTest::newRow("refusal") << "ERROR\nb\nc\n<status>OK</status>" << false;
    QTest::newRow("refusal in lower case is not one") << "error\nb\nc\n<status>OK</status>" << true;
    QTest::newRow("three lines") << "a\nb\nc" << false;
    QTest::newRow("line 3 other") << "a\nb\nc\n<status>FAIL</status>" << false;
    QTest::newRow("line 3 with blank") << "a\nb\nc\n<status>OK</status> " << false;
    QTest::newRow("web page") << "<html>\n<head>\n</head>\n<body>\n</body>\n</html>" << false;
    QTest::newRow("empty") << "" << false;
}

void TestUpdateCheck::answerAccepted_needsFourLinesAndCompleteMark()
{
    QFETCH(QString, answer);
    QFETCH(bool, accepted);
    QCOMPARE(dv::AnswerAccepted(answer, dv::AnswerLines(answer)), accepted);
}

void TestUpdateCheck::osDescription_keepsTheVersionLineForm_data()
{
    QTest::addColumn<QString>("pretty");
    QTest::addColumn<QString>("kernel");
    QTest::addColumn<QString>("arch");
    QTest::addColumn<QString>("os");
    QTest::newRow("debian amd64") << "Debian GNU/Linux 12 (bookworm)" << "6.1.0-18-amd64" << "x86_64"
                                  << "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)";
    QTest::newRow("patch level as build") << "Fedora Linux 39" << "6.5.12-300.fc39.x86_64" << "arm64"
                                          << "Fedora Linux 39 (Version 6.5, Build 12, 64-bit Edition)";
    QTest::newRow("32-bit") << "Debian GNU/Linux 12 (bookworm)" << "6.1.0-18-686" << "i386"
                            << "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 32-bit Edition)";
    QTest::newRow("two-part release") << "Alpine Linux v3.19" << "6.6" << "x86_64"
                                      << "Alpine Linux v3.19 (Version 6.6, Build 0, 64-bit Edition)";
    QTest::newRow("no name") << "" << "5.10.0" << "x86_64" << "Linux (Version 5.10, Build 0, 64-bit Edition)";
}

void TestUpdateCheck::osDescription_keepsTheVersionLineForm()
{
    QFETCH(QString, pretty);
    QFETCH(QString, kernel);
    QFETCH(QString, arch);
    QFETCH(QString, os);
    QCOMPARE(dv::OsDescription(pretty, kernel, arch), os);
}

void TestUpdateCheck::localeTag_isLanguageRegionOrXx_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tag");
    QTest::newRow("en_US") << "en_US" << "en-US";
    QTest::newRow("de_AT") << "de_AT" << "de-AT";
    QTest::newRow("tr_TR") << "tr_TR" << "tr-TR";
    QTest::newRow("C") << "C" << "xx";
    QTest::newRow("POSIX") << "POSIX" << "xx";
}

void TestUpdateCheck::localeTag_isLanguageRegionOrXx()
{
    QFETCH(QString, name);
    QFETCH(QString, tag);
    QCOMPARE(dv::LocaleTag(QLocale(name)), tag);
}

void TestUpdateCheck::request_arrivesWithFieldsInOrder()
{
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.8")));
    dv::CheckForUpdate(config());
    const auto requests = service_->requests();
    QCOMPARE(requests.size(), 1);
    QVERIFY(requests[0].tls);
    QCOMPARE(requests[0].method, "POST");
    QCOMPARE(requests[0].path, "/php/check2.php");
    QCOMPARE(requests[0].body, "cmd=check&appname=KELMARO+-+Dorvantis&version=2.8"
                               "&os=Debian+GNU%2FLinux+12+%28bookworm%29+%28Version+6.1%2C+Build+0%2C+64-bit+Edition%29"
                               "&local=en-US");
}

// ---- runs of the check ----

void TestUpdateCheck::firstRun_sameVersion_storesTodayAndCountOneWithoutNotice()
{
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.8")));
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(ShowUpdate, 1);
    QCOMPARE(NewVersion, "2.8");
    QCOMPARE(DownloadURL, Download);
    QCOMPARE(stored("LastUpdateCheck"), Today);
    QCOMPARE(stored("LastUpdateCheckCount"), "1");
    QCOMPARE(stored("InstalledVersion"), "2.8");
    QCOMPARE(stored("CurrentVersion"), "2.8");
    QCOMPARE(dv::UnscrambleText(stored("CurrentURL"), dv::ScrambleSeed), Download);
    QVERIFY(stored("CurrentURL") != Download);
    QVERIFY(dialogs_.messages.isEmpty());
}

void TestUpdateCheck::newerVersion_followsTheDailyRhythm_data()
{
    QTest::addColumn<QString>("lastCheck");
    QTest::addColumn<int>("storedCount");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("countAfter");
    QTest::addColumn<bool>("notice");
    QTest::newRow("today 0") << Today << 0 << true << "1" << true;
    QTest::newRow("today 3") << Today << 3 << true << "4" << true;
    QTest::newRow("today 4: fifth answer, no notice") << Today << 4 << true << "5" << false;
    QTest::newRow("today 5: not asked") << Today << 5 << false << "5" << false;
    QTest::newRow("today 9: not asked") << Today << 9 << false << "9" << false;
    QTest::newRow("next day after 5") << Yesterday << 5 << true << "1" << true;
}

void TestUpdateCheck::newerVersion_followsTheDailyRhythm()
{
    QFETCH(QString, lastCheck);
    QFETCH(int, storedCount);
    QFETCH(bool, asked);
    QFETCH(QString, countAfter);
    QFETCH(bool, notice);
    seed("LastUpdateCheck", lastCheck);
    seed("LastUpdateCheckCount", QString::number(storedCount));
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9")));
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QCOMPARE(service_->requests().size(), asked ? 1 : 0);
    QCOMPARE(stored("LastUpdateCheckCount"), countAfter);
    QCOMPARE(stored("LastUpdateCheck"), asked ? Today : lastCheck);
    QCOMPARE(UpdateAvailable, notice);
}

void TestUpdateCheck::olderVersion_opensNotice()
{
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.7")));
    dv::CheckForUpdate(config());
    QVERIFY(UpdateAvailable);
    QCOMPARE(NewVersion, "2.7");
}

void TestUpdateCheck::nonNumericVersion_storedButNoNotice()
{
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9beta")));
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(stored("CurrentVersion"), "2.9beta");
    QCOMPARE(stored("LastUpdateCheckCount"), "1");
}

void TestUpdateCheck::refusedAnswer_storesNothingAndShowsNothing_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("ERROR") << QByteArray("ERROR: unknown application\r\n") + serviceAnswer("2.9");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("three lines") << QByteArray("<version>2.9</version>\r\n<url>x</url>\r\n<date></date>\r\n");
    QTest::newRow("line 3 missing its mark")
        << serviceAnswer("2.9").replace("<status>OK</status>", "<status></status>");
    QTest::newRow("portal page") << QByteArray("<html>\n<body>\nSign in to the network\n</body>\n</html>\n");
}

void TestUpdateCheck::refusedAnswer_storesNothingAndShowsNothing()
{
    QFETCH(QByteArray, answer);
    service_->setAnswer(ScriptedAnswer::text(answer));
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(NewVersion, QString());
    QCOMPARE(stored("LastUpdateCheck"), "<missing>");
    QCOMPARE(stored("LastUpdateCheckCount"), "<missing>");
    QCOMPARE(stored("CurrentVersion"), "<missing>");
    QCOMPARE(stored("CurrentURL"), "<missing>");
    QCOMPARE(stored("InstalledVersion"), "2.8");
    QVERIFY(dialogs_.messages.isEmpty());
}

void TestUpdateCheck::blankAfterClosingTag_givesEmptyVersion()
{
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9").replace("</version>", "</version> ")));
    dv::CheckForUpdate(config());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(NewVersion, QString());
    QCOMPARE(stored("CurrentVersion"), QString());
    QCOMPARE(stored("LastUpdateCheckCount"), "1");
}

void TestUpdateCheck::httpsFailing_httpAnswerIsUsed()
{
    // A service without TLS: the https attempt fails its handshake.
    FakeService plainOnly;
    QVERIFY(plainOnly.start());
    plainOnly.setAnswer(ScriptedAnswer::text(serviceAnswer("2.9")));
    dv::CheckConfig c = config();
    c.httpsAddress = plainOnly.url("https", "/php/check2.php");
    c.httpAddress = plainOnly.url("http", "/php/check2.php");
    dv::CheckForUpdate(c);
    QCOMPARE(plainOnly.connectionCount(), 2);
    QCOMPARE(plainOnly.requests().size(), 1);
    QVERIFY(!plainOnly.requests()[0].tls);
    QCOMPARE(plainOnly.requests()[0].version, "HTTP/1.0");
    QVERIFY(UpdateAvailable);
    QCOMPARE(stored("LastUpdateCheckCount"), "1");
}

void TestUpdateCheck::httpsAnswering_noHttpAttempt()
{
    // Whatever https returns is the answer, even a server's error page.
    service_->setAnswer(ScriptedAnswer::text("Internal error", "text/plain", 500));
    dv::CheckForUpdate(config());
    QCOMPARE(service_->requests().size(), 1);
    QVERIFY(service_->requests()[0].tls);
    QVERIFY(!UpdateAvailable);
    QCOMPARE(stored("LastUpdateCheck"), "<missing>");
}

void TestUpdateCheck::bothAttemptsFailing_storesNothing()
{
    service_->stop();
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(stored("LastUpdateCheck"), "<missing>");
    QCOMPARE(stored("LastUpdateCheckCount"), "<missing>");
    QCOMPARE(stored("InstalledVersion"), "2.8");
}

void TestUpdateCheck::drippingService_endsWithinTheBoundAndStoresNothing()
{
    ScriptedAnswer answer = ScriptedAnswer::text("<version>2.9</version>\r\n<url>https://x.test/</url>\r\nd\r\n"
                                                 "<status>OK</status>\r\n");
    answer.dripMs = 200;
    service_->setAnswer(answer);
    dv::CheckConfig c = config();
    c.timeoutMs = 1000;
    QElapsedTimer clock;
    clock.start();
    dv::CheckForUpdate(c);
    // Two attempts, each bounded by twice the time-out.
    QVERIFY2(clock.elapsed() < 2 * (2 * 1000) + 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(CheckDone.load());
    QVERIFY(!UpdateAvailable);
    QCOMPARE(stored("LastUpdateCheck"), "<missing>");
    QCOMPARE(dialogs_.messages.size(), 0);
}

void TestUpdateCheck::showUpdateZero_asksNothingAndKeepsStoredUrl()
{
    seed("ShowUpdate", "0");
    seed("CurrentURL", dv::ScrambleText(Download, dv::ScrambleSeed));
    dv::CheckForUpdate(config());
    QVERIFY(CheckDone.load());
    QCOMPARE(service_->connectionCount(), 0);
    QCOMPARE(ShowUpdate, 0);
    QCOMPARE(DownloadURL, Download);
    QVERIFY(!UpdateAvailable);
}

void TestUpdateCheck::showUpdateOfNumberType_readsAsOne()
{
    QVERIFY(registry_->setValue(store().keyPath() + "\\Settings", "ShowUpdate", dv::RegValue::dword(0)));
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9")));
    dv::CheckForUpdate(config());
    QCOMPARE(ShowUpdate, 1);
    QCOMPARE(service_->requests().size(), 1);
    QVERIFY(UpdateAvailable);
}

void TestUpdateCheck::showUpdateTwo_asksAndStoresWithoutNotice()
{
    seed("ShowUpdate", "2");
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9")));
    dv::CheckForUpdate(config());
    QCOMPARE(service_->requests().size(), 1);
    QCOMPARE(ShowUpdate, 2);
    QCOMPARE(stored("CurrentVersion"), "2.9");
    QVERIFY(!UpdateAvailable);
}

void TestUpdateCheck::importantLine_showsWarningOnlyWhenNotBlank_data()
{
    QTest::addColumn<std::optional<QString>>("important");
    QTest::addColumn<bool>("shown");
    QTest::newRow("no line 5") << std::optional<QString>() << false;
    QTest::newRow("empty") << std::optional<QString>("") << false;
    QTest::newRow("blanks and tabs") << std::optional<QString>("  \t ") << false;
    QTest::newRow("sentence, as it came") << std::optional<QString>(" Please update: <b>security</b> fix. ")
                                          << true;
}

void TestUpdateCheck::importantLine_showsWarningOnlyWhenNotBlank()
{
    QFETCH(std::optional<QString>, important);
    QFETCH(bool, shown);
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9", Download, important)));
    bool doneWhileShown = true;
    dialogs_.onMessage = [&](const dv::test::ShownMessage&) { doneWhileShown = CheckDone.load(); };
    dv::CheckForUpdate(config());
    QCOMPARE(dialogs_.messages.size(), shown ? 1 : 0);
    if (shown) {
        QCOMPARE(dialogs_.messages[0].text, *important);
        QCOMPARE(dialogs_.messages[0].caption, "IMPORTANT");
        QCOMPARE(dialogs_.messages[0].flags, int(dv::MB_ICONWARNING));
        QVERIFY(!doneWhileShown);
    }
    QVERIFY(UpdateAvailable);
}

void TestUpdateCheck::changedDateFormat_countsAsNewDay()
{
    seed("LastUpdateCheck", Today);
    seed("LastUpdateCheckCount", "5");
    service_->setAnswer(ScriptedAnswer::text(serviceAnswer("2.9")));
    dv::CheckForUpdate(config("12/10/26"));
    QCOMPARE(service_->requests().size(), 1);
    QCOMPARE(stored("LastUpdateCheck"), "12/10/26");
    QCOMPARE(stored("LastUpdateCheckCount"), "1");
    QVERIFY(UpdateAvailable);
}

void TestUpdateCheck::storedUrlNotHex_givesEmptyDownloadUrl()
{
    seed("ShowUpdate", "0");
    seed("CurrentURL", "https://not.scrambled/");
    dv::CheckForUpdate(config());
    QCOMPARE(DownloadURL, QString());
}

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
