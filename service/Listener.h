#pragma once

#include "ListenerDelegate.h"
#include "MessageReader.h"
#include "OperationQueue.h"
#include "PeerProcessFacts.h"
#include "UniqueFd.h"

#include <chrono>
#include <vector>

namespace korvel::service {

// Accepts connections, admits callers and reads their requests on the calling thread, and hands each
// whole request to the operation queue; none of this ever waits for an operation.
class Listener {
public:
    Listener(int listeningSocket, const ListenerDelegate& delegate, const IdentityTable& identities,
             TunnelService& service, std::chrono::milliseconds requestTimeout);

    // Serves until `stopFd` becomes readable.
    void run(int stopFd);

private:
    struct Connection {
        UniqueFd socket;
        MessageReader reader;
        std::chrono::steady_clock::time_point deadline;
    };

    bool accepting() const;
    int pollTimeout() const;
    void acceptConnections();
    // True when the connection is done with here: handed on, answered or dropped.
    bool receive(Connection& connection);
    bool finish(Connection& connection);

    int listeningSocket_;
    const ListenerDelegate& delegate_;
    const IdentityTable& identities_;
    std::chrono::milliseconds requestTimeout_;
    std::chrono::steady_clock::time_point pausedUntil_;
    std::vector<Connection> connections_;
    OperationQueue queue_;
};

} // namespace korvel::service
