#pragma once

#include "ListenerDelegate.h"
#include "MessageReader.h"
#include "OperationQueue.h"
#include "PeerProcessFacts.h"
#include "PolkitAuthority.h"
#include "UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace korvel::service {

// Accepts connections, admits callers, has polkit authorise their users and reads their requests on the
// calling thread, and hands each whole, authorised request to the operation queue; none of this ever
// waits for an operation or for polkit.
class Listener {
public:
    // `authorityBus`: where polkit's authority is asked; empty for the system bus.
    Listener(int listeningSocket, const ListenerDelegate& delegate, const IdentityTable& identities,
             TunnelService& service, std::chrono::milliseconds requestTimeout, std::string authorityBus);

    // Serves until `stopFd` becomes readable.
    void run(int stopFd);

private:
    enum class Authorization { pending, granted, denied };

    struct Connection {
        std::uint64_t id = 0;
        uid_t uid = 0;
        UniqueFd socket;
        MessageReader reader;
        std::chrono::steady_clock::time_point deadline;
        Authorization authorization = Authorization::pending;
    };

    bool accepting() const;
    int pollTimeout() const;
    void acceptConnections();
    void authorize(Connection& connection, const PeerProcessFacts& facts);
    void applyAnswers();
    // Reads what has arrived; false when the connection broke.
    bool receive(Connection& connection);
    // True when the connection is done with here: handed on, answered or dropped.
    bool settle(Connection& connection, bool readable, std::chrono::steady_clock::time_point now);
    void finish(Connection& connection);

    int listeningSocket_;
    const ListenerDelegate& delegate_;
    const IdentityTable& identities_;
    std::chrono::milliseconds requestTimeout_;
    std::chrono::steady_clock::time_point pausedUntil_;
    std::uint64_t nextId_ = 0;
    std::vector<Connection> connections_;
    PolkitAuthority authority_;
    OperationQueue queue_;
};

} // namespace korvel::service
