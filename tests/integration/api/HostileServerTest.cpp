#include "ApiClient.h"
#include "AwaitTask.h"
#include "HostileHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace korvel::api {
namespace {

using namespace std::chrono_literals;
using Behaviour = HostileHttpServer::Behaviour;

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so resident memory says nothing about what is held.
constexpr bool kInstrumented = true;
#else
constexpr bool kInstrumented = false;
#endif

const QString kCouldNotReach = QStringLiteral("Could not reach Korvel. Check your internet connection.");

struct HostileCase {
    const char* name;
    Behaviour behaviour;
};

class HostileServer : public testing::TestWithParam<HostileCase> {
protected:
    QTemporaryDir resources; // holds no Info.ini
};

// Every way the server breaks the transfer ends as a transfer failure; a redirect loop is followed
// only so far.
TEST_P(HostileServer, BreaksTheTransfer) {
    HostileHttpServer server(GetParam().behaviour);
    ApiClient client(server.baseUrl(), resources.path(), 2s);
    const Outcome<QString> outcome = awaitTask(client.wireGuardConfig(1, std::nullopt));
    ASSERT_FALSE(std::holds_alternative<std::monostate>(outcome)) << "the operation never ended";
    EXPECT_EQ(failureOf(outcome), kCouldNotReach);
}

INSTANTIATE_TEST_SUITE_P(Behaviours, HostileServer,
                         testing::Values(HostileCase{"resetBeforeResponse", Behaviour::resetBeforeResponse},
                                         HostileCase{"resetMidBody", Behaviour::resetMidBody},
                                         HostileCase{"stallMidBody", Behaviour::stallMidBody},
                                         HostileCase{"redirectLoop", Behaviour::redirectLoop}),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

// The process's peak resident memory since the last reset, in KiB.
qint64 peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
            }
        }
    }
    return -1;
}

void resetPeakResident() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    ASSERT_TRUE(clear.open(QIODevice::WriteOnly));
    clear.write("5");
}

TEST_F(HostileServer, AHundredMebibyteBodyIsAbandonedWhileTheEventLoopRuns) {
    HostileHttpServer server(Behaviour::endlessBody);
    ApiClient client(server.baseUrl(), resources.path());
    resetPeakResident();
    const qint64 residentBefore = peakResidentKiB();

    // A ticking timer shows whether the event loop kept running during the transfer.
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    clock.start();
    ticker.start();
    const Outcome<QString> outcome = awaitTask(client.wireGuardConfig(1, std::nullopt), 60s);
    ticker.stop();
    longestGap = std::max(longestGap, clock.elapsed() - lastTick);

    EXPECT_EQ(failureOf(outcome), QStringLiteral("The server returned an unexpected response."));
    // Qt's network thread reads ahead of the abort; on a loaded machine by tens of MiB.
    EXPECT_LT(server.bodyBytesSent(), HostileHttpServer::kEndlessBodyBytes * 3 / 4)
        << "the body must be abandoned";
    EXPECT_LT(longestGap, 500) << "milliseconds the event loop stood still";
    if (!kInstrumented) {
        EXPECT_LT(peakResidentKiB() - residentBefore, 96 * 1024) << "KiB the transfer held at its peak";
    }
}

} // namespace
} // namespace korvel::api
