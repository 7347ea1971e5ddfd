#include "HostileHttpServer.h"

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::api {
HostileHttpServer::HostileHttpServer(Behaviour behaviour)
    : behaviour_(behaviour), listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
      stop_(::eventfd(0, EFD_CLOEXEC)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (::bind(listener_, generic, length) == 0 && ::listen(listener_, 16) == 0 &&
        ::getsockname(listener_, generic, &length) == 0) {
        port_ = ntohs(address.sin_port);
    }
    thread_ = std::thread([this] { serve(); });
}

HostileHttpServer::~HostileHttpServer() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(listener_);
    ::close(stop_);
}

QString HostileHttpServer::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port_); }

void HostileHttpServer::serve() {
    while (waitFor(listener_, POLLIN)) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0) {
            answer(connection);
            ::close(connection);
        }
    }
}

void HostileHttpServer::answer(int connection) {
    // The request: its head, then as many body bytes as it declares.
    QByteArray request;
    std::array<char, 4096> buffer{};
    qsizetype headEnd = -1;
    qsizetype needed = 0;
    while (headEnd < 0 || request.size() < needed) {
        if (!waitFor(connection, POLLIN)) {
            return;
        }
        const ssize_t count = ::recv(connection, buffer.data(), buffer.size(), 0);
        if (count <= 0) {
            return;
        }
        request.append(buffer.data(), count);
        if (headEnd < 0 && (headEnd = request.indexOf("\r\n\r\n")) >= 0) {
            needed = headEnd + 4;
            for (const QByteArray& line : request.left(headEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:")) {
                    needed += line.mid(15).trimmed().toLongLong();
                }
            }
        }
    }

    const auto reset = [connection] {
        const linger abrupt{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    };
    const QByteArray partial =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 1000\r\n\r\n"
        R"({"data":{"config":")";
    switch (behaviour_) {
    case Behaviour::resetBeforeResponse:
        reset();
        return;
    case Behaviour::resetMidBody:
        sendAll(connection, partial.constData(), partial.size());
        reset();
        return;
    case Behaviour::stallMidBody:
        if (sendAll(connection, partial.constData(), partial.size())) {
            // Held open until the client gives up.
            while (waitFor(connection, POLLIN) && ::recv(connection, buffer.data(), buffer.size(), 0) > 0) {
            }
        }
        return;
    }
}

bool HostileHttpServer::sendAll(int connection, const char* data, std::size_t size) {
    while (size > 0) {
        if (!waitFor(connection, POLLOUT)) {
            return false;
        }
        const ssize_t sent = ::send(connection, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (sent > 0) {
            data += sent;
            size -= static_cast<std::size_t>(sent);
        }
    }
    return true;
}

bool HostileHttpServer::waitFor(int connection, short events) {
    std::array<pollfd, 2> watched{{{stop_, POLLIN, 0}, {connection, events, 0}}};
    while (::poll(watched.data(), watched.size(), -1) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return watched[0].revents == 0;
}

} // namespace korvel::api
