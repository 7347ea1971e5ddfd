// The controller against peers written here: what it sends, how it reads replies of every shape, what it
// does when the service is missing or unreachable. The installation's end-to-end tests run it against the
// real daemon.
#include "TunnelController.h"
#include "ApiError.h"
#include "TemporaryDirectory.h"
#include "TunnelWireFormat.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
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
    // The first call is answered last, by a peer on this thread: a call that held up the event loop while
    // it waits would stall both (how long a call may stall the loop is the benchmark's to measure).
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
    const QByteArray nul(1, '\0');
    const struct {
        const char* name;
        bool close;
        QString outcome;
        std::vector<QByteArray> pieces;
    } cases[] = {
        {"message in pieces",
         false,
         " Bad key. ",
         {R"({"parame)", R"(ters":{"message":" Bad key. "}})", nul}},
        {"empty message, then closed", true, "ok", {R"({"parameters":{"message":""}})" + nul}},
        {"only the first reply counts", false, "A", {R"({"parameters":{"message":"A"}})" + nul + kSuccess}},
        {"reply cut short", true, kInvalid, {R"({"parameters":{}})"}},
        {"closed without a word", true, kClosed, {}},
        {"endless reply", false, kInvalid, {flood, flood}},
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
TEST_F(TunnelControllerTest, CallsThatCannotSucceedSayWhy) {
    std::ofstream(directory / "program") << "version 1";
    TunnelController uninstalled(path("absent.socket"), path("socket"), path("wireguard"), path("program"));
    TunnelController upgraded(path("korvel-tunneld.socket"), path("socket"), path("wireguard"),
                              path("program"));
    std::ofstream(directory / "program.new") << "version 2";
    fs::rename(directory / "program.new", directory / "program");
    TunnelController current = controller();
    // Bound but not listening: the socket of a daemon that is gone.
    const std::string bind =
        "import socket; socket.socket(socket.AF_UNIX).bind('" + directory / "stale" + "')";
    ASSERT_EQ(std::system(("python3 -c \"" + bind + "\"").c_str()), 0);
    TunnelController gone(path("korvel-tunneld.socket"), path("stale"), path("wireguard"));
    const struct {
        TunnelController& tunnel;
        bool atOnce;
        QString outcome;
    } cases[] = {
        {uninstalled, true,
         "Korvel's tunnel service is missing. Reinstall Korvel using the installer package."},
        {upgraded, true, "Korvel has been updated. Quit Korvel and open it again."},
        {current, false, kUnavailable + "its socket " + path("socket") + " does not exist."},
        {gone, false, kUnavailable + "nothing is listening on " + path("stale") + "."},
    };
    for (const auto& c : cases) {
        ControllerCall connect(c.tunnel.connect(QStringLiteral("x")));
        ControllerCall disconnect(c.tunnel.disconnect());
        EXPECT_TRUE(!c.atOnce || (connect.ended() && disconnect.ended())) << c.outcome.toStdString();
        EXPECT_EQ(connect.wait(), c.outcome);
        EXPECT_EQ(disconnect.wait(), c.outcome);
    }
}

} // namespace
