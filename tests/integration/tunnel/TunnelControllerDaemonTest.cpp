// The controller against the real daemon (korvel-test-tunneld) on a temporary socket, with scripted
// tools. The daemon admits only a root-owned program that others cannot write: the test binary itself.
#include "ControllerCall.h"
#include "TestDaemon.h"
#include "TunnelController.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using korvel::test::ControllerCall;
using korvel::test::TestDaemon;
using korvel::tunnel::TunnelController;
namespace fs = std::filesystem;

namespace {

const std::string kSelf = fs::read_symlink("/proc/self/exe").string();
const QString kSafe = QStringLiteral("[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n");
const QString kClosed = QStringLiteral(
    "The VPN tunnel service is unavailable: the connection closed before the service replied.");

// Runs the event loop until `condition` holds, for at most ten seconds.
void spinUntil(const std::function<bool()>& condition) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < 10000) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

class TunnelControllerDaemonTest : public ::testing::Test {
protected:
    void SetUp() override {
        struct stat self {};
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: the daemon admits only a root-owned program and keeps root's files";
        }
        if (::stat(kSelf.c_str(), &self) != 0 || self.st_uid != 0 || (self.st_mode & 022) != 0) {
            GTEST_SKIP() << "the test program is not root's or is writable by others, so the daemon would "
                            "not admit it";
        }
        std::ofstream(definition.path() / "korvel-tunneld.socket");
    }

    TunnelController controllerFor(const TestDaemon& daemon) const {
        return TunnelController(QString::fromStdString(definition / "korvel-tunneld.socket"),
                                daemon.socketPath());
    }

    korvel::test::TemporaryDirectory definition;
};

TEST_F(TunnelControllerDaemonTest, ConnectsAndDisconnectsThroughTheDaemon) {
    const TestDaemon daemon(kSelf);
    daemon.tool(R"({ echo "$1"; cat "$2"; } >>$log)");
    TunnelController tunnel = controllerFor(daemon);
    EXPECT_EQ(ControllerCall(tunnel.connect(kSafe)).wait(), "ok");
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(), "ok");
    EXPECT_EQ(QString::fromStdString(daemon.log()), "up\n" + kSafe + "down\n" + kSafe);
}

struct ReplyCase {
    const char* name;
    std::optional<std::string> tool;
    QString config;
    QString outcome;
};

TEST_F(TunnelControllerDaemonTest, TheDaemonsMessagesReachTheCallerUnchanged) {
    const std::vector<ReplyCase> cases = {
        {"tool's last words", "echo '[#] ip link add korvel' >&2; echo ' Key is bad.' >&2; exit 1", kSafe,
         " Key is bad."},
        {"silent tool", "exit 1", kSafe, "The tunnel operation failed."},
        {"unsafe configuration", "exit 0", QStringLiteral("[Interface]\nPostUp = reboot\n[Peer]\n"),
         "The VPN configuration is invalid."},
        {"no tools", std::nullopt, kSafe, "Korvel's tunnel tools are missing. Reinstall Korvel."},
    };
    const TestDaemon daemon(kSelf);
    TunnelController tunnel = controllerFor(daemon);
    for (const ReplyCase& c : cases) {
        if (c.tool) {
            daemon.tool(*c.tool);
        } else {
            fs::remove(daemon.directory.path() / "tools/wg-quick");
        }
        EXPECT_EQ(ControllerCall(tunnel.connect(c.config)).wait(), c.outcome) << c.name;
    }
}

TEST_F(TunnelControllerDaemonTest, ARefusedCallerFindsTheServiceUnavailable) {
    // The daemon admits another program only.
    const TestDaemon daemon(KORVEL_TEST_CLIENT);
    daemon.tool("echo ran >$log");
    TunnelController tunnel = controllerFor(daemon);
    EXPECT_EQ(ControllerCall(tunnel.connect(kSafe)).wait(), kClosed);
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(), kClosed);
    EXPECT_EQ(daemon.log(), "");
}

TEST_F(TunnelControllerDaemonTest, ADaemonThatDiesMidCallFindsTheCallUnavailable) {
    TestDaemon daemon(kSelf);
    daemon.tool("echo $$ >$log; while [ ! -e $go ]; do sleep 0.01; done");
    TunnelController tunnel = controllerFor(daemon);
    ControllerCall call(tunnel.connect(kSafe));
    spinUntil([&] { return !daemon.log().empty(); });
    ASSERT_FALSE(daemon.log().empty()) << "the tool never started";
    EXPECT_FALSE(call.ended());
    daemon.kill();
    EXPECT_EQ(call.wait(), kClosed);
    ::kill(std::stoi(daemon.log()), SIGKILL);
}

// A call that waits a second for its tool must leave the main thread's event loop running: a 10 ms
// timer keeps firing on time throughout.
TEST_F(TunnelControllerDaemonTest, TheEventLoopKeepsRunningWhileACallWaits) {
    const TestDaemon daemon(kSelf);
    daemon.tool("sleep 1");
    TunnelController tunnel = controllerFor(daemon);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worstLateness = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worstLateness = std::max(worstLateness, now - last - 10);
        last = now;
    });
    clock.start();
    ticker.start();
    ControllerCall call(tunnel.connect(kSafe));
    EXPECT_EQ(call.wait(), "ok");
    ticker.stop();
    // A call that blocked and ended before any tick counts too.
    worstLateness = std::max(worstLateness, clock.elapsed() - last - 10);
    RecordProperty("worst_lateness_ms", static_cast<int>(worstLateness));
    EXPECT_GE(clock.elapsed(), 900) << "the call did not wait for the tool";
    EXPECT_LT(worstLateness, 500) << "the event loop stood still while the call waited";
}

} // namespace
