#include "Listener.h"

#include "ServiceConstants.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <variant>

namespace korvel::service {
namespace {

using Clock = std::chrono::steady_clock;

// Only admitted callers hold a connection open, each with up to a full message buffered.
constexpr std::size_t kMaxConnections = 32;
// How long to stop accepting when the process runs out of descriptors or memory.
constexpr std::chrono::milliseconds kPause{100};
// Connections taken per round of the loop: admitted callers are read and answered between rounds, so a
// flood of callers that are turned away cannot keep them waiting.
constexpr int kAcceptsPerRound = 8;

} // namespace

Listener::Listener(int listeningSocket, const ListenerDelegate& delegate, const IdentityTable& identities,
                   TunnelService& service, std::chrono::milliseconds requestTimeout)
    : listeningSocket_(listeningSocket), delegate_(delegate), identities_(identities),
      requestTimeout_(requestTimeout), queue_(service) {}

void Listener::run(int stopFd) {
    std::vector<pollfd> watched;
    for (;;) {
        watched.clear();
        watched.push_back({stopFd, POLLIN, 0});
        watched.push_back({accepting() ? listeningSocket_ : -1, POLLIN, 0});
        for (const Connection& connection : connections_) {
            watched.push_back({connection.socket.get(), POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), pollTimeout()) < 0 && errno != EINTR) {
            return;
        }
        if (watched[0].revents != 0) {
            return;
        }
        const Clock::time_point now = Clock::now();
        std::size_t index = 2;
        std::erase_if(connections_, [&](Connection& connection) {
            const bool ready = watched[index++].revents != 0;
            return ready ? receive(connection) : connection.deadline <= now;
        });
        if (watched[1].revents != 0) {
            acceptConnections();
        }
    }
}

bool Listener::accepting() const {
    return Clock::now() >= pausedUntil_ && connections_.size() + queue_.size() < kMaxConnections;
}

int Listener::pollTimeout() const {
    if (!accepting()) {
        return static_cast<int>(kPause.count());
    }
    if (connections_.empty()) {
        return -1;
    }
    const auto earliest = std::min_element(connections_.begin(), connections_.end(), [](auto& a, auto& b) {
                              return a.deadline < b.deadline;
                          })->deadline;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void Listener::acceptConnections() {
    for (int round = 0; round < kAcceptsPerRound && connections_.size() + queue_.size() < kMaxConnections;
         ++round) {
        UniqueFd socket(::accept4(listeningSocket_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pausedUntil_ = Clock::now() + kPause;
            }
            return;
        }
        PeerProcessFacts facts(socket.get(), identities_);
        if (!delegate_.shouldAcceptNewConnection(facts)) {
            // Closed unread and unanswered.
            continue;
        }
        connections_.push_back(
            {std::move(socket), MessageReader(maxMessageBytes), Clock::now() + requestTimeout_});
    }
}

bool Listener::receive(Connection& connection) {
    std::array<char, 16384> chunk{};
    for (;;) {
        const ssize_t count = ::recv(connection.socket.get(), chunk.data(), chunk.size(), 0);
        if (count > 0) {
            if (connection.reader.append(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) {
                return finish(connection);
            }
            continue;
        }
        if (count == 0) {
            connection.reader.endOfInput();
            return finish(connection);
        }
        if (errno == EINTR) {
            continue;
        }
        return errno != EAGAIN;
    }
}

bool Listener::finish(Connection& connection) {
    const ParsedRequest& parsed = *connection.reader.result();
    if (const auto* request = std::get_if<Request>(&parsed)) {
        queue_.enqueue(std::move(connection.socket), *request);
    } else {
        // Error replies go out without waiting: they fit an empty socket buffer unless the client sent
        // an absurd method name, and then it gets what fits.
        sendMessage(connection.socket.get(), encodeError(std::get<WireError>(parsed)),
                    std::chrono::milliseconds(0));
    }
    return true;
}

} // namespace korvel::service
