#include "answerbody.h"
#include "fakeservice.h"
#include "httpform.h"

#include "errors.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <zlib.h>

using dv::test::FakeService;
using dv::test::ReceivedRequest;
using dv::test::ScriptedAnswer;
using dv::test::TestCertificates;

namespace {

// The message of the error PostForm raises, or nothing when it returns.
std::optional<QString> postError(const QString& address, const QStringList& fields, int timeoutMs)
{
    try {
        dv::PostForm(address, fields, timeoutMs);
    } catch (const dv::AppError& e) {
        return e.message();
    }
    return std::nullopt;
}

QByteArray gzipped(const QByteArray& data, int windowBits = MAX_WBITS + 16)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

struct Fed {
    bool ok = false;
    bool tooLarge = false;
    QByteArray bytes;
};

// Hands the body to an AnswerBody in pieces of the given size, as the transport would.
Fed feed(dv::AnswerBody::Route route, const QByteArray& encoding, const QByteArray& body, qsizetype piece)
{
    dv::AnswerBody decoder(route);
    decoder.addContentEncoding(encoding);
    bool ok = true;
    for (qsizetype at = 0; ok && at < body.size(); at += piece)
        ok = decoder.append(QByteArrayView(body).sliced(at, qMin(piece, body.size() - at)));
    ok = ok && decoder.finish();
    return {ok, decoder.tooLarge(), decoder.bytes()};
}

} // namespace

class TestHttpForm : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void encodeFormBody_encodesAsFormsExpect_data();
    void encodeFormBody_encodesAsFormsExpect();

    void tlsRoute_sendsHttp11WithCharsetAndConnectionClose();
    void plainRoute_sendsHttp10WithoutCharset();
    void capitalisedHttpsScheme_takesPlainRoute();
    void cookieFromOneCall_isNotSentByTheNext();
    void serverError_isTextOnTlsRoute_andErrorWithStatusLineOnPlainRoute();
    void silentServer_givesUpAfterTimeout_data();
    void silentServer_givesUpAfterTimeout();
    void drippingServer_givesUpWithinTwiceTheTimeout_data();
    void drippingServer_givesUpWithinTwiceTheTimeout();
    void refusedConnection_raisesError();
    void untrustedCertificate_raisesError();

    void answer_isDecodedByItsCharset_data();
    void answer_isDecodedByItsCharset();
    void gzipAnswer_isDecompressed();

    void redirects_fiveFollowedAndSixthFails_data();
    void redirects_fiveFollowedAndSixthFails();
    void redirectToFile_raisesError();
    void redirectFromHttpsToHttp_isFollowed();
    void redirect_onPlainRoute_raisesWithStatusLine();

    void answerOverOneMebibyte_raisesWithoutGrowingMemory_data();
    void answerOverOneMebibyte_raisesWithoutGrowingMemory();
    void answerOfExactlyOneMebibyte_isReturned();
    void damagedGzipAnswer_raisesError();

    void answerBody_undoesGzipWhereverTheBodyIsCut_data();
    void answerBody_undoesGzipWhereverTheBodyIsCut();
    void answerBody_refusesWhatItCannotUndo_data();
    void answerBody_refusesWhatItCannotUndo();

private:
    QTemporaryDir dir_;
    TestCertificates certs_;
    std::unique_ptr<FakeService> service_;
    std::unique_ptr<dv::ScopedTestCertificateAuthority> trust_;
};

void TestHttpForm::initTestCase()
{
    QVERIFY(dir_.isValid());
    certs_ = TestCertificates::create(dir_.path());
    QVERIFY2(certs_.ok(), qPrintable(certs_.error));
    trust_ = std::make_unique<dv::ScopedTestCertificateAuthority>(certs_.caFile);
}

void TestHttpForm::cleanupTestCase()
{
    service_.reset();
    trust_.reset();
}

void TestHttpForm::init()
{
    service_ = std::make_unique<FakeService>(&certs_);
    QVERIFY2(service_->start(), qPrintable(service_->errorString()));
}

void TestHttpForm::encodeFormBody_encodesAsFormsExpect_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("update request") << QStringList{"cmd=check", "version=2.8",
                                                   "os=Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"}
                                    << QByteArray("cmd=check&version=2.8&os=Windows+10+%28Version+10.0%2C+Build+"
                                                  "19045%2C+64-bit+Edition%29");
    QTest::newRow("space and kept marks") << QStringList{"cmd=check", "note=a b-c"}
                                          << QByteArray("cmd=check&note=a+b-c");
    QTest::newRow("non-ASCII as UTF-8") << QStringList{"v=café"} << QByteArray("v=caf%C3%A9");
    QTest::newRow("empty value kept") << QStringList{"name=", "b=1"} << QByteArray("name=&b=1");
    QTest::newRow("split at first equals") << QStringList{"x=a=b+c"} << QByteArray("x=a%3Db%2Bc");
    QTest::newRow("reserved bytes") << QStringList{"k=%&*._~/"} << QByteArray("k=%25%26*._%7E%2F");
    QTest::newRow("name encoded too") << QStringList{"a b=1"} << QByteArray("a+b=1");
    QTest::newRow("no fields") << QStringList{} << QByteArray();
}

void TestHttpForm::encodeFormBody_encodesAsFormsExpect()
{
    QFETCH(QStringList, fields);
    QFETCH(QByteArray, body);
    QCOMPARE(dv::EncodeFormBody(fields), body);
}

void TestHttpForm::tlsRoute_sendsHttp11WithCharsetAndConnectionClose()
{
    service_->setAnswer(ScriptedAnswer::text("thanks"));
    QCOMPARE(dv::PostForm(service_->url("https", "/php/check2.php"), {"cmd=check", "x=a b"}, 5000), "thanks");
    const QList<ReceivedRequest> got = service_->requests();
    QCOMPARE(got.size(), 1);
    const ReceivedRequest& r = got.first();
    QVERIFY(r.tls);
    QCOMPARE(r.method, "POST");
    QCOMPARE(r.path, "/php/check2.php");
    QCOMPARE(r.version, "HTTP/1.1");
    QCOMPARE(r.header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
    QCOMPARE(r.header("Connection"), "close");
    QVERIFY(r.header("Accept-Encoding").contains("gzip"));
    QVERIFY(!r.hasHeader("User-Agent"));
    QVERIFY(!r.hasHeader("Cookie"));
    QVERIFY(!r.hasHeader("Authorization"));
    QCOMPARE(r.body, "cmd=check&x=a+b");
}

void TestHttpForm::plainRoute_sendsHttp10WithoutCharset()
{
    service_->setAnswer(ScriptedAnswer::text("fine"));
    QCOMPARE(dv::PostForm(service_->url("http", "/php/feedback.php"), {"a=1", "b=é"}, 5000), "fine");
    const ReceivedRequest r = service_->requests().value(0);
    QVERIFY(!r.tls);
    QCOMPARE(r.method, "POST");
    QCOMPARE(r.path, "/php/feedback.php");
    QCOMPARE(r.version, "HTTP/1.0");
    QCOMPARE(r.header("Content-Type"), "application/x-www-form-urlencoded");
    QVERIFY(!r.hasHeader("User-Agent"));
    QVERIFY(!r.hasHeader("Accept-Encoding"));
    QCOMPARE(r.body, "a=1&b=%C3%A9");
}

void TestHttpForm::capitalisedHttpsScheme_takesPlainRoute()
{
    service_->setAnswer(ScriptedAnswer::text("plain"));
    QCOMPARE(dv::PostForm(service_->url("HTTPS", "/p"), {"a=1"}, 5000), "plain");
    const ReceivedRequest r = service_->requests().value(0);
    QVERIFY(!r.tls);
    QCOMPARE(r.version, "HTTP/1.0");
    QCOMPARE(r.header("Content-Type"), "application/x-www-form-urlencoded");
}

void TestHttpForm::cookieFromOneCall_isNotSentByTheNext()
{
    ScriptedAnswer answer = ScriptedAnswer::text("hello");
    answer.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("session=abc; Path=/")));
    service_->setAnswer(answer);
    dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000);
    dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000);
    dv::PostForm(service_->url("http", "/p"), {"a=1"}, 5000);
    const auto requests = service_->requests();
    QCOMPARE(requests.size(), 3);
    for (const ReceivedRequest& r : requests)
        QVERIFY(!r.hasHeader("Cookie"));
}

void TestHttpForm::serverError_isTextOnTlsRoute_andErrorWithStatusLineOnPlainRoute()
{
    service_->setAnswer(ScriptedAnswer::text("<h1>broken</h1>", "text/html", 500));
    QCOMPARE(dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000), "<h1>broken</h1>");
    QCOMPARE(postError(service_->url("http", "/p"), {"a=1"}, 5000), QString("HTTP/1.1 500 Internal Server Error"));
}

void TestHttpForm::silentServer_givesUpAfterTimeout_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("tls") << "https";
    QTest::newRow("plain") << "http";
}

void TestHttpForm::silentServer_givesUpAfterTimeout()
{
    QFETCH(QString, scheme);
    service_->setAnswer(ScriptedAnswer::silence());
    QElapsedTimer clock;
    clock.start();
    const auto error = postError(service_->url(scheme, "/p"), {"a=1"}, 1500);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(error.has_value());
    QCOMPARE(service_->requests().size(), 1);
    // The silence is measured from the last byte sent; the check runs about once
    // a second, hence the upper margin.
    QVERIFY2(elapsed >= 1400 && elapsed < 4000, qPrintable(QString::number(elapsed)));
}

void TestHttpForm::drippingServer_givesUpWithinTwiceTheTimeout_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("tls") << "https";
    QTest::newRow("plain") << "http";
}

void TestHttpForm::drippingServer_givesUpWithinTwiceTheTimeout()
{
    QFETCH(QString, scheme);
    ScriptedAnswer answer = ScriptedAnswer::text(QByteArray(200, 'x'));
    answer.dripMs = 300; // never silent for the time-out, never finished
    service_->setAnswer(answer);
    QElapsedTimer clock;
    clock.start();
    const auto error = postError(service_->url(scheme, "/p"), {"a=1"}, 1000);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(error.has_value());
    QVERIFY2(elapsed < 2 * 1000 + 1000, qPrintable(QString::number(elapsed)));
}

void TestHttpForm::refusedConnection_raisesError()
{
    const QString address = service_->url("http", "/p");
    service_->stop();
    const auto error = postError(address, {"a=1"}, 3000);
    QVERIFY(error.has_value());
    QVERIFY(!error->isEmpty());
}

void TestHttpForm::untrustedCertificate_raisesError()
{
    // A second authority the client has not been told about signs this service.
    QTemporaryDir otherDir;
    const TestCertificates other = TestCertificates::create(otherDir.path());
    QVERIFY2(other.ok(), qPrintable(other.error));
    FakeService stranger(&other);
    QVERIFY(stranger.start());
    QVERIFY(postError(stranger.url("https", "/p"), {"a=1"}, 3000).has_value());
    QCOMPARE(stranger.requests().size(), 0);
}

void TestHttpForm::answer_isDecodedByItsCharset_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const QByteArray cyrillic1251("\xCF\xF0\xE8\xE2\xE5\xF2"); // "Привет"
    const QString privet = QString::fromUtf8("Привет");
    QTest::newRow("tls windows-1251") << "https" << QByteArray("text/plain; charset=windows-1251") << cyrillic1251
                                      << privet;
    QTest::newRow("plain windows-1251 quoted")
        << "http" << QByteArray("text/html; charset=\"Windows-1251\"") << cyrillic1251 << privet;
    QTest::newRow("tls no charset is UTF-8") << "https" << QByteArray("text/plain") << QByteArray("caf\xC3\xA9")
                                             << QString::fromUtf8("café");
    QTest::newRow("tls unknown charset is UTF-8")
        << "https" << QByteArray("text/plain; charset=x-nonsense") << QByteArray("caf\xC3\xA9")
        << QString::fromUtf8("café");
    QTest::newRow("plain no charset is byte for byte")
        << "http" << QByteArray("text/plain") << QByteArray("caf\xC3\xA9") << QString::fromLatin1("caf\xC3\xA9");
    QTest::newRow("plain unknown charset is byte for byte")
        << "http" << QByteArray("text/plain; charset=x-nonsense") << QByteArray("\xE9t\xE9")
        << QString::fromLatin1("\xE9t\xE9");
    QTest::newRow("plain utf-8") << "http" << QByteArray("text/plain; charset=UTF-8") << QByteArray("caf\xC3\xA9")
                                 << QString::fromUtf8("café");
}

void TestHttpForm::answer_isDecodedByItsCharset()
{
    QFETCH(QString, scheme);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    service_->setAnswer(ScriptedAnswer::text(bytes, contentType));
    QCOMPARE(dv::PostForm(service_->url(scheme, "/p"), {"a=1"}, 5000), text);
}

void TestHttpForm::gzipAnswer_isDecompressed()
{
    ScriptedAnswer answer = ScriptedAnswer::text(QString::fromUtf8("<version>2.9</version>\nсжато").toUtf8(),
                                                 "text/plain; charset=utf-8");
    answer.gzip = true;
    service_->setAnswer(answer);
    QCOMPARE(dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000),
             QString::fromUtf8("<version>2.9</version>\nсжато"));
}

void TestHttpForm::redirects_fiveFollowedAndSixthFails_data()
{
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("five") << 5 << true;
    QTest::newRow("six") << 6 << false;
}

void TestHttpForm::redirects_fiveFollowedAndSixthFails()
{
    QFETCH(int, hops);
    QFETCH(bool, succeeds);
    // /hop/N sends the client on to /hop/N-1; /hop/0 answers.
    service_->setHandler([](const ReceivedRequest& r) {
        const int n = r.path.mid(5).toInt();
        if (n == 0)
            return ScriptedAnswer::text("arrived");
        return ScriptedAnswer::redirect("/hop/" + QByteArray::number(n - 1));
    });
    const QString address = service_->url("https", "/hop/" + QString::number(hops));
    if (succeeds) {
        QCOMPARE(dv::PostForm(address, {"a=1"}, 5000), "arrived");
        QCOMPARE(service_->requests().size(), hops + 1);
    } else {
        QVERIFY(postError(address, {"a=1"}, 5000).has_value());
        QCOMPARE(service_->requests().size(), 6);
    }
}

void TestHttpForm::redirectToFile_raisesError()
{
    QTemporaryDir local;
    QFile secret(local.filePath("secret.txt"));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("local secret");
    secret.close();
    service_->setAnswer(ScriptedAnswer::redirect("file://" + secret.fileName().toUtf8()));
    const auto error = postError(service_->url("https", "/p"), {"a=1"}, 5000);
    QVERIFY(error.has_value());
    QVERIFY(!error->contains("local secret"));
}

void TestHttpForm::redirectFromHttpsToHttp_isFollowed()
{
    service_->setHandler([this](const ReceivedRequest& r) {
        if (r.tls)
            return ScriptedAnswer::redirect(service_->url("http", "/plain").toUtf8(), 303);
        return ScriptedAnswer::text("over http");
    });
    QCOMPARE(dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000), "over http");
    const auto requests = service_->requests();
    QCOMPARE(requests.size(), 2);
    QVERIFY(!requests[1].tls);
    QCOMPARE(requests[1].path, "/plain");
}

void TestHttpForm::redirect_onPlainRoute_raisesWithStatusLine()
{
    service_->setAnswer(ScriptedAnswer::redirect("/elsewhere", 302));
    QCOMPARE(postError(service_->url("http", "/p"), {"a=1"}, 5000), QString("HTTP/1.1 302 Found"));
    QCOMPARE(service_->requests().size(), 1);
}

void TestHttpForm::answerOverOneMebibyte_raisesWithoutGrowingMemory_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("gzip");
    QTest::addColumn<qint64>("size");
    QTest::newRow("plain 64 MiB") << "http" << false << qint64(64) * 1024 * 1024;
    QTest::newRow("tls 64 MiB") << "https" << false << qint64(64) * 1024 * 1024;
    QTest::newRow("tls gzip bomb 1 GiB") << "https" << true << qint64(1024) * 1024 * 1024;
    QTest::newRow("one byte over") << "https" << false << qint64(dv::MaxAnswerBytes) + 1;
}

void TestHttpForm::answerOverOneMebibyte_raisesWithoutGrowingMemory()
{
    QFETCH(QString, scheme);
    QFETCH(bool, gzip);
    QFETCH(qint64, size);
    ScriptedAnswer answer = ScriptedAnswer::text({});
    answer.generatedBodySize = size;
    answer.gzip = gzip;
    service_->setAnswer(answer);
    dv::test::resetPeakMemory();
    const qint64 before = dv::test::peakMemoryKiB();
    const auto error = postError(service_->url(scheme, "/p"), {"a=1"}, 5000);
    const qint64 grown = dv::test::peakMemoryKiB() - before;
    QVERIFY(error.has_value());
    QVERIFY2(grown < 8 * 1024, qPrintable(QString("grew by %1 KiB").arg(grown)));
}

void TestHttpForm::answerOfExactlyOneMebibyte_isReturned()
{
    ScriptedAnswer answer = ScriptedAnswer::text({});
    answer.generatedBodySize = dv::MaxAnswerBytes;
    service_->setAnswer(answer);
    QCOMPARE(dv::PostForm(service_->url("https", "/p"), {"a=1"}, 5000).size(), dv::MaxAnswerBytes);
}

void TestHttpForm::damagedGzipAnswer_raisesError()
{
    ScriptedAnswer answer = ScriptedAnswer::text("<version>2.9</version> is not compressed");
    answer.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    service_->setAnswer(answer);
    QVERIFY(postError(service_->url("https", "/p"), {"a=1"}, 5000).has_value());
}

void TestHttpForm::answerBody_undoesGzipWhereverTheBodyIsCut_data()
{
    using Route = dv::AnswerBody::Route;
    QTest::addColumn<Route>("route");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray text = QString::fromUtf8("<version>2.9</version>\r\nсжато").toUtf8();
    const QByteArray mebibyte(dv::MaxAnswerBytes, 'x');
    QTest::newRow("gzip") << Route::Tls << QByteArray("gzip") << gzipped(text) << text;
    QTest::newRow("x-gzip in capitals, with identity")
        << Route::Tls << QByteArray(" X-GZIP , identity") << gzipped(text) << text;
    QTest::newRow("zlib data under the gzip label")
        << Route::Tls << QByteArray("gzip") << gzipped(text, MAX_WBITS) << text;
    QTest::newRow("exactly the bound once undone") << Route::Tls << QByteArray("gzip") << gzipped(mebibyte) << mebibyte;
    QTest::newRow("empty body under gzip") << Route::Tls << QByteArray("gzip") << QByteArray() << QByteArray();
    QTest::newRow("identity") << Route::Tls << QByteArray("identity") << text << text;
    QTest::newRow("no encoding") << Route::Tls << QByteArray() << text << text;
    QTest::newRow("plain route asks for none and undoes none")
        << Route::Plain << QByteArray("gzip") << gzipped(text) << gzipped(text);
}

void TestHttpForm::answerBody_undoesGzipWhereverTheBodyIsCut()
{
    QFETCH(dv::AnswerBody::Route, route);
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    for (const qsizetype piece : {qsizetype(1), qsizetype(7), qMax<qsizetype>(1, body.size())}) {
        const Fed fed = feed(route, encoding, body, piece);
        QVERIFY2(fed.ok, qPrintable(QString("pieces of %1").arg(piece)));
        QCOMPARE(fed.bytes, expected);
    }
}

void TestHttpForm::answerBody_refusesWhatItCannotUndo_data()
{
    using Route = dv::AnswerBody::Route;
    QTest::addColumn<Route>("route");
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("tooLarge");
    const QByteArray packed = gzipped("<status>OK</status>");
    QByteArray damaged = packed;
    damaged[12] = char(damaged[12] ^ 0x55);
    QTest::newRow("damaged data") << Route::Tls << QByteArray("gzip") << damaged << false;
    QTest::newRow("not gzip at all") << Route::Tls << QByteArray("gzip") << QByteArray("OK") << false;
    QTest::newRow("cut short") << Route::Tls << QByteArray("gzip") << packed.left(packed.size() - 3) << false;
    QTest::newRow("more data after the stream") << Route::Tls << QByteArray("gzip") << packed + "OK" << false;
    QTest::newRow("an encoding not asked for") << Route::Tls << QByteArray("br") << QByteArray("OK") << false;
    QTest::newRow("gzip twice") << Route::Tls << QByteArray("gzip, gzip") << gzipped(packed) << false;
    QTest::newRow("one byte over the bound once undone")
        << Route::Tls << QByteArray("gzip") << gzipped(QByteArray(dv::MaxAnswerBytes + 1, 'x')) << true;
    QTest::newRow("gzip bomb of 64 MiB")
        << Route::Tls << QByteArray("gzip") << gzipped(QByteArray(64 * 1024 * 1024, '\0')) << true;
    QTest::newRow("plain body one byte over")
        << Route::Plain << QByteArray() << QByteArray(dv::MaxAnswerBytes + 1, 'x') << true;
}

void TestHttpForm::answerBody_refusesWhatItCannotUndo()
{
    QFETCH(dv::AnswerBody::Route, route);
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, body);
    QFETCH(bool, tooLarge);
    for (const qsizetype piece : {qsizetype(1), qsizetype(4096), qMax<qsizetype>(1, body.size())}) {
        const Fed fed = feed(route, encoding, body, piece);
        QVERIFY2(!fed.ok, qPrintable(QString("pieces of %1").arg(piece)));
        QCOMPARE(fed.tooLarge, tooLarge);
        QVERIFY(fed.bytes.size() <= dv::MaxAnswerBytes);
    }
}

QTEST_GUILESS_MAIN(TestHttpForm)
#include "tst_httpform.moc"
