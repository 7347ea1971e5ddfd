#pragma once

#include "ConfigurationStore.h"
#include "Listener.h"
#include "ListenerDelegate.h"
#include "PeerProcessFacts.h"
#include "TunnelService.h"
#include "WireGuardTools.h"

#include <chrono>
#include <string>

namespace korvel::service {

struct DaemonSettings {
    std::string stateDirectory;
    std::string toolsDirectory;
    std::string interfaceName;
    // The only program admitted, by the installed-path rule.
    std::string applicationPath;
    IdentityTable identities;
    std::chrono::milliseconds requestTimeout;
    // Where polkit's authority is asked about callers other than root; empty for the system bus.
    std::string authorityBus;
};

// The whole daemon on one listening socket.
class TunnelDaemon {
public:
    TunnelDaemon(int listeningSocket, DaemonSettings settings);

    // Serves until `stopFd` becomes readable. Destroying the daemon lets the running operation finish.
    void run(int stopFd) { listener_.run(stopFd); }

private:
    DaemonSettings settings_;
    ConfigurationStore store_;
    WireGuardTools tools_;
    TunnelService service_;
    ListenerDelegate delegate_;
    Listener listener_;
};

} // namespace korvel::service
