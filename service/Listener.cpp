#include "Listener.h"

#include "ServiceConstants.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <utility>
#include <variant>

namespace korvel::service {
namespace {

using Clock = std::chrono::steady_clock;

// Only admitted callers hold a connection open, each with up to a full message buffered.
constexpr std::size_t kMaxConnections = 32;
// One user other than root may hold no more than this many of them, so that a user who may run the
// application but whom polkit turns away cannot crowd out everyone else.
constexpr std::size_t kMaxConnectionsPerUser = 8;
// How long to stop accepting when the process runs out of descriptors or memory.
constexpr std::chrono::milliseconds kPause{100};
// Connections taken per round of the loop: admitted callers are read and answered between rounds, so a
// flood of callers that are turned away cannot keep them waiting.
constexpr int kAcceptsPerRound = 8;

constexpr std::string_view kNotAllowed = "You are not allowed to turn the VPN on or off on this computer.";

} // namespace

Listener::Listener(int listeningSocket, const ListenerDelegate& delegate, const IdentityTable& identities,
                   TunnelService& service, std::chrono::milliseconds requestTimeout, std::string authorityBus)
    : listeningSocket_(listeningSocket), delegate_(delegate), identities_(identities),
      requestTimeout_(requestTimeout), authority_(std::move(authorityBus)), queue_(service) {}

void Listener::run(int stopFd) {
    std::vector<pollfd> watched;
    for (;;) {
        watched.clear();
        watched.push_back({stopFd, POLLIN, 0});
        watched.push_back({accepting() ? listeningSocket_ : -1, POLLIN, 0});
        watched.push_back(authority_.pollEntry());
        for (const Connection& connection : connections_) {
            // A whole request waits for polkit unread by the loop; only the caller's leaving counts then.
            const bool reading = !connection.reader.result();
            watched.push_back({connection.socket.get(), static_cast<short>(reading ? POLLIN : 0), 0});
        }
        if (::poll(watched.data(), watched.size(), pollTimeout()) < 0 && errno != EINTR) {
            return;
        }
        if (watched[0].revents != 0) {
            return;
        }
        applyAnswers();
        const Clock::time_point now = Clock::now();
        std::size_t index = 3;
        std::erase_if(connections_, [&](Connection& connection) {
            return settle(connection, watched[index++].revents != 0, now);
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
    int own = -1;
    if (!accepting()) {
        own = static_cast<int>(kPause.count());
    } else if (!connections_.empty()) {
        const auto earliest = std::ranges::min_element(connections_, {}, &Connection::deadline)->deadline;
        if (earliest != Clock::time_point::max()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now());
            own = static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
        }
    }
    const int authority = authority_.pollTimeout();
    return own < 0 ? authority : authority < 0 ? own : std::min(own, authority);
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
        const auto held = std::ranges::count(connections_, facts.uid(), &Connection::uid);
        if (!delegate_.shouldAcceptNewConnection(facts) ||
            (facts.uid() != 0 && static_cast<std::size_t>(held) >= kMaxConnectionsPerUser)) {
            // Closed unread and unanswered.
            continue;
        }
        connections_.push_back({++nextId_, facts.uid(), std::move(socket), MessageReader(maxMessageBytes),
                                Clock::now() + requestTimeout_, Authorization::pending});
        authorize(connections_.back(), facts);
    }
}

// Root may do anything anyway; every other user needs polkit's word, and without it is refused.
void Listener::authorize(Connection& connection, const PeerProcessFacts& facts) {
    if (connection.uid == 0) {
        connection.authorization = Authorization::granted;
        return;
    }
    const std::optional<std::uint64_t> startTime = facts.callerStartTime();
    if (!startTime || !authority_.ask(connection.id, {facts.pid(), *startTime, facts.uid(), facts.pidfd()})) {
        connection.authorization = Authorization::denied;
    }
}

void Listener::applyAnswers() {
    for (const auto& [id, authorized] : authority_.process()) {
        const auto connection = std::ranges::find(connections_, id, &Connection::id);
        if (connection != connections_.end()) {
            connection->authorization = authorized ? Authorization::granted : Authorization::denied;
        }
    }
}

bool Listener::settle(Connection& connection, bool readable, Clock::time_point now) {
    const bool reading = !connection.reader.result();
    const bool broken = readable && (!reading || !receive(connection));
    if (!broken && connection.reader.result()) {
        if (connection.authorization != Authorization::pending) {
            finish(connection);
            return true;
        }
        // Polkit's own time limit, long enough for a password, bounds the wait from here.
        connection.deadline = Clock::time_point::max();
        return false;
    }
    if (!broken && connection.deadline > now) {
        return false;
    }
    if (connection.authorization == Authorization::pending) {
        authority_.cancel(connection.id);
    }
    return true;
}

bool Listener::receive(Connection& connection) {
    std::array<char, 16384> chunk{};
    for (;;) {
        const ssize_t count = ::recv(connection.socket.get(), chunk.data(), chunk.size(), 0);
        if (count > 0) {
            if (connection.reader.append(std::string_view(chunk.data(), static_cast<std::size_t>(count)))) {
                return true;
            }
            continue;
        }
        if (count == 0) {
            connection.reader.endOfInput();
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN;
    }
}

void Listener::finish(Connection& connection) {
    const ParsedRequest& parsed = *connection.reader.result();
    const auto* request = std::get_if<Request>(&parsed);
    if (request && connection.authorization == Authorization::granted) {
        queue_.enqueue(std::move(connection.socket), *request);
        return;
    }
    // Replies from here go out without waiting: they fit an empty socket buffer unless the client sent an
    // absurd method name, and then it gets what fits.
    const std::string reply = connection.authorization == Authorization::granted
                                  ? encodeError(std::get<WireError>(parsed))
                                  : encodeReply(std::string(kNotAllowed));
    sendMessage(connection.socket.get(), reply, std::chrono::milliseconds(0));
}

} // namespace korvel::service
