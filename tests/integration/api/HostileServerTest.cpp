#include "ApiClient.h"
#include "ApiStub.h"
#include "AwaitTask.h"
#include "HostileHttpServer.h"
#include "PeakResident.h"

#include <QElapsedTimer>
#include <QTimer>

#include <thread>

#include <gtest/gtest.h>

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

class HostileServer : public testing::TestWithParam<HostileCase> {};

// Every way the server breaks the transfer ends as a transfer failure.
TEST_P(HostileServer, BreaksTheTransfer) {
    HostileHttpServer server(GetParam().behaviour);
    ApiClient client(server.baseUrl(), {}, 2s);
    const Outcome<QString> outcome = awaitTask(client.wireGuardConfig(1, std::nullopt));
    ASSERT_FALSE(std::holds_alternative<std::monostate>(outcome)) << "the operation never ended";
    EXPECT_EQ(failureOf(outcome), kCouldNotReach);
}

INSTANTIATE_TEST_SUITE_P(Behaviours, HostileServer,
                         testing::Values(HostileCase{"resetBeforeResponse", Behaviour::resetBeforeResponse},
                                         HostileCase{"resetMidBody", Behaviour::resetMidBody},
                                         HostileCase{"stallMidBody", Behaviour::stallMidBody}),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

struct EndlessCase {
    const char* name;
    test::ApiStub::Endless framing;
};

class EndlessBody : public testing::TestWithParam<EndlessCase> {};

// However it is framed, a body past the limit is abandoned, and memory stays bounded while the main
// thread stands still: Qt's network thread reads only so far ahead of the reader. The bounds are loose;
// the benchmark measures the figures.
TEST_P(EndlessBody, IsAbandonedWithinBoundedMemory) {
    test::ApiStub server;
    server.serveEndless("POST vpn/configs/wireguard", GetParam().framing);
    ApiClient client(server.baseUrl(), {});
    ASSERT_TRUE(test::resetPeakResident());
    const qint64 residentBefore = test::peakResidentKiB();
    constexpr std::int64_t kBound = 128LL * 1024 * 1024;
    // Once the body flows, the main thread stands still until the server has sent what nothing should
    // hold, or for a second.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (server.endlessBytesSent() == 0) {
            return;
        }
        watch.stop();
        QElapsedTimer busy;
        busy.start();
        while (server.endlessBytesSent() < kBound && busy.elapsed() < 1000) {
            std::this_thread::yield();
        }
    });
    watch.start(1);
    const Outcome<QString> outcome = awaitTask(client.wireGuardConfig(1, std::nullopt), 60s);
    EXPECT_EQ(failureOf(outcome), QStringLiteral("The server returned an unexpected response."));
    EXPECT_LT(server.endlessBytesSent(), kBound) << "the body must be abandoned";
    if (!kInstrumented) {
        EXPECT_LT(test::peakResidentKiB() - residentBefore, kBound / 1024)
            << "KiB the transfer held at its peak";
    }
}

INSTANTIATE_TEST_SUITE_P(Framings, EndlessBody,
                         testing::Values(EndlessCase{"withLength", test::ApiStub::Endless::withLength},
                                         EndlessCase{"chunked", test::ApiStub::Endless::chunked},
                                         EndlessCase{"gzip", test::ApiStub::Endless::gzip}),
                         [](const testing::TestParamInfo<EndlessCase>& info) { return info.param.name; });

} // namespace
} // namespace korvel::api
