// The controller against peers written here: what it sends, how it reads replies of every shape, and
// what it does when the service is missing or unreachable. None of it needs privileges.
#include "TunnelController.h"
#include "ControllerCall.h"
#include "TemporaryDirectory.h"
#include "TunnelWireFormat.h"

#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using korvel::test::ControllerCall;
using korvel::test::TemporaryDirectory;
using korvel::tunnel::TunnelController;

namespace {

const QString kUnavailable = QStringLiteral("The VPN tunnel service is unavailable: ");
const QString kInvalid = QStringLiteral("The VPN tunnel service returned an invalid connection.");
const QString kMissing =
    QStringLiteral("Korvel's tunnel service is missing. Reinstall Korvel using the installer package.");
const QByteArray kSuccess = QByteArray(R"({"parameters":{}})") + '\0';

// Listens on the daemon's socket and, once a connection's request is complete (up to its NUL byte),
// hands it to `answer`.
class ScriptedPeer {
public:
    using Answer = std::function<void(QLocalSocket& connection, const QByteArray& request)>;

    explicit ScriptedPeer(const QString& path) {
        EXPECT_TRUE(server_.listen(path)) << server_.errorString().toStdString();
        QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] { accept(); });
    }

    Answer answer = [](QLocalSocket& connection, const QByteArray&) { connection.write(kSuccess); };
    int connections = 0;
    std::vector<QByteArray> requests;

private:
    void accept() {
        while (QLocalSocket* connection = server_.nextPendingConnection()) {
            ++connections;
            auto received = std::make_shared<QByteArray>();
            QObject::connect(connection, &QLocalSocket::readyRead, connection, [this, connection, received] {
                const bool complete = received->contains('\0');
                *received += connection->readAll();
                if (!complete && received->contains('\0')) {
                    requests.push_back(*received);
                    answer(*connection, *received);
                }
            });
        }
    }

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

TEST_F(TunnelControllerTest, EachCallSendsOneRequestOnAConnectionOfItsOwn) {
    ScriptedPeer peer(path("socket"));
    TunnelController tunnel(path("korvel-tunneld.socket"), path("socket"));
    EXPECT_EQ(ControllerCall(tunnel.connect(QStringLiteral("[Interface]\n\"é\""))).wait(), "ok");
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(), "ok");
    EXPECT_EQ(peer.connections, 2);
    const std::vector<QByteArray> expected = {
        QByteArray(R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[Interface]\n\"é\""}})") +
            '\0',
        QByteArray(R"({"method":"korvel.tunneld.Disconnect"})") + '\0',
    };
    EXPECT_EQ(peer.requests, expected);
}

struct AnswerCase {
    const char* name;
    std::vector<QByteArray> pieces;
    bool close;
    QString outcome;
};

TEST_F(TunnelControllerTest, EveryReplyShapeEndsTheCallOnce) {
    const QByteArray flood(korvel::tunnel::kMaxReplyBytes, 'x');
    const std::vector<AnswerCase> cases = {
        {"success", {kSuccess}, false, "ok"},
        {"message in pieces",
         {R"({"parame)", R"(ters":{"message":"Key is bad."}})", QByteArray(1, '\0')},
         false,
         "Key is bad."},
        {"empty message, then closed", {QByteArray(R"({"parameters":{"message":""}})") + '\0'}, true, "ok"},
        {"only the first reply counts",
         {QByteArray(R"({"parameters":{"message":"A"}})") + '\0' + R"({"parameters":{}})" + '\0'},
         false,
         "A"},
        {"varlink error",
         {QByteArray(R"({"error":"org.varlink.service.MethodNotFound","parameters":{"method":"x"}})") + '\0'},
         true,
         kUnavailable + "the service did not accept the request (org.varlink.service.MethodNotFound)."},
        {"garbage", {QByteArray("hello") + '\0'}, false, kInvalid},
        {"not the protocol, then closed", {"HTTP/1.1 400 Bad Request\r\n\r\n"}, true, kInvalid},
        {"reply cut short", {R"({"parameters":{}})"}, true, kInvalid},
        {"closed without a word",
         {},
         true,
         kUnavailable + "the connection closed before the service replied."},
        {"endless reply", {flood, flood}, false, kInvalid},
    };
    ScriptedPeer peer(path("socket"));
    TunnelController tunnel = controller();
    for (const AnswerCase& c : cases) {
        peer.answer = [&c](QLocalSocket& connection, const QByteArray&) {
            // Pieces leave one by one, so the client sees them in separate reads.
            for (std::size_t i = 0; i < c.pieces.size(); ++i) {
                QTimer::singleShot(20 * static_cast<int>(i), &connection, [&connection, piece = c.pieces[i]] {
                    connection.write(piece);
                    connection.flush();
                });
            }
            if (c.close) {
                QTimer::singleShot(20 * static_cast<int>(c.pieces.size()), &connection,
                                   [&connection] { connection.disconnectFromServer(); });
            }
        };
        EXPECT_EQ(ControllerCall(tunnel.connect(QStringLiteral("x"))).wait(), c.outcome) << c.name;
    }
}

TEST_F(TunnelControllerTest, ConcurrentCallsEachGetTheirOwnReply) {
    ScriptedPeer peer(path("socket"));
    peer.answer = [](QLocalSocket& connection, const QByteArray& request) {
        if (request.contains("Connect")) {
            // The first call is answered last.
            QTimer::singleShot(100, &connection, [&connection] {
                connection.write(QByteArray(R"({"parameters":{"message":"A"}})") + '\0');
            });
        } else {
            connection.write(QByteArray(R"({"parameters":{"message":"B"}})") + '\0');
        }
    };
    TunnelController tunnel = controller();
    ControllerCall first(tunnel.connect(QStringLiteral("x")));
    ControllerCall second(tunnel.disconnect());
    EXPECT_EQ(second.wait(), "B");
    EXPECT_EQ(first.wait(), "A");
}

TEST_F(TunnelControllerTest, WithoutTheServiceDefinitionCallsFailAtOnceWithoutConnecting) {
    ScriptedPeer peer(path("socket"));
    TunnelController tunnel(path("absent.socket"), path("socket"));
    ControllerCall connect(tunnel.connect(QStringLiteral("x")));
    ControllerCall disconnect(tunnel.disconnect());
    EXPECT_TRUE(connect.ended() && disconnect.ended()) << "no wait for anything";
    EXPECT_EQ(connect.wait(), kMissing);
    EXPECT_EQ(disconnect.wait(), kMissing);
    // A connection attempt would be waiting in the listener's queue by now.
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(peer.connections, 0);
}

int staleSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

TEST_F(TunnelControllerTest, AnUnreachableServiceIsUnavailable) {
    TunnelController tunnel = controller();
    EXPECT_EQ(ControllerCall(tunnel.disconnect()).wait(),
              kUnavailable + "its socket " + path("socket") + " does not exist.");
    // Bound but not listening: the socket of a daemon that is gone.
    const int stale = staleSocket(directory / "socket");
    EXPECT_EQ(ControllerCall(tunnel.connect(QStringLiteral("x"))).wait(),
              kUnavailable + "nothing is listening on " + path("socket") + ".");
    ::close(stale);
}

TEST_F(TunnelControllerTest, IsUpExactlyWhileOurMarkerExists) {
    const TunnelController tunnel = controller();
    EXPECT_FALSE(tunnel.isUp()) << "no marker folder";
    std::filesystem::create_directory(directory.path() / "wireguard");
    std::ofstream(directory / "wireguard/wg0.name") << "wg0\n";
    EXPECT_FALSE(tunnel.isUp()) << "another interface's marker";
    std::ofstream(directory / "wireguard/korvel.name");
    EXPECT_TRUE(tunnel.isUp()) << "the content is not read";
    std::filesystem::remove(directory / "wireguard/korvel.name");
    EXPECT_FALSE(tunnel.isUp());
}

} // namespace
