// Figures for the update service's form client against a loopback fake service:
// round-trip time per route, and how far memory grows while an oversized or
// gzip-bomb answer is refused.
#include "fakeservice.h"
#include "errors.h"
#include "httpform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using dv::test::FakeService;
using dv::test::ScriptedAnswer;
using dv::test::TestCertificates;

namespace {

double medianMs(std::vector<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns[ns.size() / 2] / 1e6;
}

void roundTrips(const FakeService& service, const char* scheme, int count)
{
    const QStringList fields{"cmd=check", "appname=KELMARO - Dorvantis", "version=2.8",
                             "os=Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)",
                             "local=en-US"};
    std::vector<qint64> times;
    QElapsedTimer t;
    for (int i = 0; i < count; ++i) {
        t.start();
        dv::PostForm(service.url(scheme, "/php/check2.php"), fields, 10000);
        times.push_back(t.nsecsElapsed());
    }
    std::printf("%-6s round trip, median of %d: %.2f ms\n", scheme, count, medianMs(times));
}

void refusal(const FakeService& service, const char* label, const char* scheme)
{
    dv::test::resetPeakMemory();
    const qint64 before = dv::test::peakMemoryKiB();
    QElapsedTimer t;
    t.start();
    bool refused = false;
    try {
        dv::PostForm(service.url(scheme, "/big"), {"a=1"}, 10000);
    } catch (const dv::AppError&) {
        refused = true;
    }
    std::printf("%-28s %s after %lld ms, peak memory grew %lld KiB\n", label, refused ? "refused" : "ACCEPTED",
                (long long)t.elapsed(), (long long)(dv::test::peakMemoryKiB() - before));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const TestCertificates certs = TestCertificates::create(dir.path());
    if (!certs.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(certs.error));
        return 1;
    }
    dv::ScopedTestCertificateAuthority trust(certs.caFile);
    FakeService service(&certs);
    if (!service.start())
        return 1;

    service.setAnswer(ScriptedAnswer::text("<version>2.9</version>\n<url></url>\n\n<status>OK</status>\n"));
    roundTrips(service, "http", 50);
    roundTrips(service, "https", 50);

    ScriptedAnswer huge = ScriptedAnswer::text({});
    huge.generatedBodySize = qint64(256) * 1024 * 1024;
    service.setAnswer(huge);
    refusal(service, "256 MiB answer (http):", "http");
    refusal(service, "256 MiB answer (https):", "https");
    huge.gzip = true;
    huge.generatedBodySize = qint64(4) * 1024 * 1024 * 1024;
    service.setAnswer(huge);
    refusal(service, "4 GiB gzip bomb (https):", "https");
    return 0;
}
