// The controller against peers written here (what it sends, how it reads replies of every shape, what it
// does when the service is missing or unreachable), then against the real daemon.
#include "TunnelController.h"
#include "ApiError.h"
#include "TemporaryDirectory.h"
#include "TunnelWireFormat.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using korvel::test::TemporaryDirectory;
using korvel::tunnel::TunnelController;
namespace fs = std::filesystem;

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray& bytes, std::ostream* out) { *out << bytes.toStdString(); }

namespace {

const QString kUnavailable = QStringLiteral("The VPN tunnel service is unavailable: ");
const QString kClosed = kUnavailable + "the connection closed before the service replied.";
const QString kInvalid = QStringLiteral("The VPN tunnel service returned an invalid connection.");
const QByteArray kSuccess = QByteArray(R"({"parameters":{}})") + '\0';

// A controller call, watched from the moment it starts.
class ControllerCall {
public:
    explicit ControllerCall(QCoro::Task<> task) : watcher_(watch(std::move(task))) {}

    bool ended() const { return outcome_.has_value(); }

    // Runs the event loop until the call ends or `limit` passes: "ok", the ApiError's message, or
    // "still running".
    QString wait(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        for (const QDeadlineTimer deadline(limit); !outcome_ && !deadline.hasExpired();) {
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return outcome_.value_or(QStringLiteral("still running"));
    }

private:
    QCoro::Task<> watch(QCoro::Task<> task) {
        try {
            co_await std::move(task);
            outcome_ = QStringLiteral("ok");
        } catch (const korvel::api::ApiError& error) {
            outcome_ = error.message();
        }
    }

    std::optional<QString> outcome_;
    QCoro::Task<> watcher_;
};

// Listens on the daemon's socket and hands each request, once complete up to its NUL byte, to `answer`.
class ScriptedPeer {
public:
    explicit ScriptedPeer(const QString& path) {
        EXPECT_TRUE(server_.listen(path)) << server_.errorString().toStdString();
        QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
            while (QLocalSocket* connection = server_.nextPendingConnection()) {
                ++connections;
                auto received = std::make_shared<QByteArray>();
                QObject::connect(connection, &QLocalSocket::readyRead, connection, [=, this] {
                    *received += connection->readAll();
                    if (received->endsWith('\0')) {
                        requests.push_back(*received);
                        answer(*connection, *received);
                    }
                });
            }
        });
    }

    std::function<void(QLocalSocket& connection, const QByteArray& request)> answer;
    int connections = 0;
    std::vector<QByteArray> requests;

private:
    QLocalServer server_;
};

class TunnelControllerTest : public ::testing::Test {
protected:
    TunnelControllerTest() { std::ofstream(directory / "korvel-tunneld.socket"); }

    QString path(const std::string& name) const { return QString::fromStdString(directory / name); }
    TunnelController controller() const {
        return TunnelController(path("korvel-tunneld.socket"), path("socket"), path("wireguard"));
    }

    TemporaryDirectory directory;
};

TEST_F(TunnelControllerTest, EachCallSendsItsRequestOnAConnectionOfItsOwn) {
    ScriptedPeer peer(path("socket"));
    // The first call is answered last.
    peer.answer = [](QLocalSocket& connection, const QByteArray& request) {
        const bool first = request.contains("Connect");
        QTimer::singleShot(first ? 100 : 0, &connection, [&connection, first] {
            connection.write(first ? QByteArray(R"({"parameters":{"message":"A"}})") + '\0' : kSuccess);
        });
    };
    TunnelController tunnel = controller();
    ControllerCall first(tunnel.connect(QStringLiteral("[Interface]\n\"é\"")));
    ControllerCall second(tunnel.disconnect());
    EXPECT_EQ(second.wait(), "ok");
    EXPECT_EQ(first.wait(), "A");
    EXPECT_EQ(peer.connections, 2);
    std::sort(peer.requests.begin(), peer.requests.end());
    EXPECT_EQ(peer.requests,
              (std::vector<QByteArray>{
                  QByteArray(
                      R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[Interface]\n\"é\""}})") +
                      '\0',
                  QByteArray(R"({"method":"korvel.tunneld.Disconnect"})") + '\0'}));
}

TEST_F(TunnelControllerTest, EveryReplyShapeEndsTheCallOnce) {
    const QByteArray flood(korvel::tunnel::kMaxReplyBytes, 'x');
    const struct {
        const char* name;
        std::vector<QByteArray> pieces;
        bool close;
        QString outcome;
    } cases[] = {
        {"message in pieces",
         {R"({"parame)", R"(ters":{"message":"Key is bad."}})", QByteArray(1, '\0')},
         false,
         "Key is bad."},
        {"empty message, then closed", {QByteArray(R"({"parameters":{"message":""}})") + '\0'}, true, "ok"},
        {"only the first reply counts",
         {QByteArray(R"({"parameters":{"message":"A"}})") + '\0' + kSuccess},
         false,
         "A"},
        {"reply cut short", {R"({"parameters":{}})"}, true, kInvalid},
        {"closed without a word", {}, true, kClosed},
        {"endless reply", {flood, flood}, false, kInvalid},
    };
    ScriptedPeer peer(path("socket"));
    TunnelController tunnel = controller();
    for (const auto& c : cases) {
        peer.answer = [&c](QLocalSocket& connection, const QByteArray&) {
            // Pieces leave one by one, so the client sees them in separate reads.
            for (std::size_t i = 0; i <= c.pieces.size(); ++i) {
                QTimer::singleShot(20 * static_cast<int>(i), &connection, [&connection, &c, i] {
                    if (i < c.pieces.size()) {
                        connection.write(c.pieces[i]);
                        connection.flush();
                    } else if (c.close) {
                        connection.disconnectFromServer();
                    }
                });
            }
        };
        EXPECT_EQ(ControllerCall(tunnel.connect(QStringLiteral("x"))).wait(), c.outcome) << c.name;
    }
}

// Calls that cannot succeed fail at once without connecting: without the service, or when this program's
// file was replaced since it started (as by an upgrade), which the daemon would turn away unanswered.
TEST_F(TunnelControllerTest, CallsThatCannotSucceedFailAtOnceWithoutConnecting) {
    ScriptedPeer peer(path("socket"));
    std::ofstream(directory / "program") << "version 1";
    TunnelController uninstalled(path("absent.socket"), path("socket"), path("wireguard"), path("program"));
    TunnelController upgraded(path("korvel-tunneld.socket"), path("socket"), path("wireguard"),
                              path("program"));
    std::ofstream(directory / "program.new") << "version 2";
    fs::rename(directory / "program.new", directory / "program");
    const QString missing =
        QStringLiteral("Korvel's tunnel service is missing. Reinstall Korvel using the installer package.");
    const QString updated = QStringLiteral("Korvel has been updated. Quit Korvel and open it again.");
    for (const auto& [tunnel, outcome] : {std::pair(&uninstalled, missing), std::pair(&upgraded, updated)}) {
        ControllerCall connect(tunnel->connect(QStringLiteral("x")));
        ControllerCall disconnect(tunnel->disconnect());
        EXPECT_TRUE(connect.ended() && disconnect.ended()) << "no wait for anything";
        EXPECT_EQ(connect.wait(), outcome);
        EXPECT_EQ(disconnect.wait(), outcome);
    }
    // A connection attempt would be waiting in the listener's queue by now.
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(peer.connections, 0);
}

TEST_F(TunnelControllerTest, AnAbsentDaemonIsUnavailable) {
    TunnelController tunnel = controller();
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(),
              kUnavailable + "its socket " + path("socket") + " does not exist.");
    // Bound but not listening: the socket of a daemon that is gone.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    (directory / "socket").copy(address.sun_path, sizeof address.sun_path - 1);
    const int stale = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(ControllerCall(tunnel.connect(QStringLiteral("x"))).wait(),
              kUnavailable + "nothing is listening on " + path("socket") + ".");
    ::close(stale);
}

TEST_F(TunnelControllerTest, IsUpExactlyWhileOurMarkerExists) {
    const TunnelController tunnel = controller();
    EXPECT_FALSE(tunnel.isUp()) << "no marker folder";
    fs::create_directory(directory.path() / "wireguard");
    std::ofstream(directory / "wireguard/wg0.name") << "wg0\n";
    EXPECT_FALSE(tunnel.isUp()) << "another interface's marker";
    std::ofstream(directory / "wireguard/korvel.name");
    EXPECT_TRUE(tunnel.isUp());
    fs::remove(directory / "wireguard/korvel.name");
    EXPECT_FALSE(tunnel.isUp());
}

// The real daemon (korvel-test-tunneld) on the temporary socket, with a scripted wg-quick. It admits only
// a root-owned program that others cannot write: this test binary, or the test client.
class TunnelControllerDaemonTest : public TunnelControllerTest {
protected:
    void SetUp() override {
        struct stat self {};
        if (::geteuid() != 0 || ::stat(kSelf.c_str(), &self) != 0 || self.st_uid != 0 ||
            (self.st_mode & 022) != 0) {
            GTEST_SKIP() << "needs root and a test program owned by root that others cannot write: the "
                            "daemon admits nothing else";
        }
        fs::create_directory(directory.path() / "tools");
        fs::create_symlink("/bin/bash", directory.path() / "tools/bash");
    }
    void TearDown() override {
        daemon.terminate();
        daemon.waitForFinished();
    }

    // Starts the daemon, admitting only `client`.
    void start(const std::string& client = kSelf) {
        daemon.setProcessChannelMode(QProcess::ForwardedChannels);
        daemon.start(QStringLiteral(KORVEL_TEST_TUNNELD),
                     {QStringLiteral("--socket"), path("socket"), QStringLiteral("--state-dir"),
                      path("state"), QStringLiteral("--tools-dir"), path("tools"), QStringLiteral("--client"),
                      QString::fromStdString(client)});
        for (int i = 0;
             i < 1000 && !fs::exists(directory / "socket") && daemon.state() != QProcess::NotRunning; ++i) {
            QThread::msleep(10);
        }
        ASSERT_TRUE(fs::exists(directory / "socket")) << "korvel-test-tunneld did not start";
    }
    // Installs a wg-quick made of `body`, in which `$log` names a file of the temporary folder.
    void tool(const std::string& body) const {
        std::ofstream(directory / "tools/wg-quick") << "#!/bin/bash\nlog=" << directory / "log" << '\n'
                                                    << body;
        fs::permissions(directory / "tools/wg-quick", fs::perms(0755));
    }
    std::string log() const { return directory.read("log").value_or(""); }

    inline static const std::string kSelf = fs::read_symlink("/proc/self/exe").string();
    inline static const QString kSafe =
        QStringLiteral("[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n");
    QProcess daemon;
};

TEST_F(TunnelControllerDaemonTest, ConnectsDisconnectsAndRelaysTheToolsMessageUnchanged) {
    ASSERT_NO_FATAL_FAILURE(start());
    tool(R"({ echo "$1"; cat "$2"; } >>$log)");
    TunnelController tunnel = controller();
    EXPECT_EQ(ControllerCall(tunnel.connect(kSafe)).wait(), "ok");
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(), "ok");
    EXPECT_EQ(QString::fromStdString(log()), "up\n" + kSafe + "down\n" + kSafe);
    tool("echo ' Key is bad.' >&2; exit 1");
    EXPECT_EQ(ControllerCall(tunnel.connect(kSafe)).wait(), " Key is bad.");
}

TEST_F(TunnelControllerDaemonTest, ARefusedCallerFindsTheServiceUnavailable) {
    ASSERT_NO_FATAL_FAILURE(start(KORVEL_TEST_CLIENT));
    tool("echo ran >$log");
    TunnelController tunnel = controller();
    EXPECT_EQ(ControllerCall(tunnel.connect(kSafe)).wait(), kClosed);
    EXPECT_EQ(log(), "");
}

TEST_F(TunnelControllerDaemonTest, ADaemonThatDiesMidCallFindsTheCallUnavailable) {
    ASSERT_NO_FATAL_FAILURE(start());
    tool("echo $$ >$log; exec sleep 600");
    TunnelController tunnel = controller();
    ControllerCall call(tunnel.connect(kSafe));
    for (int i = 0; i < 1000 && log().empty(); ++i) {
        call.wait(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(log().empty()) << "the tool never started";
    EXPECT_FALSE(call.ended());
    daemon.kill();
    daemon.waitForFinished();
    EXPECT_EQ(call.wait(), kClosed);
    ::kill(std::stoi(log()), SIGKILL);
}

// A call that waits a second for its tool leaves the main thread's event loop running; how late its
// timers run then is the benchmark's to measure.
TEST_F(TunnelControllerDaemonTest, TheEventLoopKeepsRunningWhileACallWaits) {
    ASSERT_NO_FATAL_FAILURE(start());
    tool("sleep 1");
    TunnelController tunnel = controller();
    ControllerCall call(tunnel.connect(kSafe));
    int ticksWhileWaiting = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhileWaiting += call.ended() ? 0 : 1; });
    ticker.start(10);
    EXPECT_EQ(call.wait(), "ok");
    EXPECT_GT(ticksWhileWaiting, 0) << "the call blocked the event loop";
}

} // namespace
