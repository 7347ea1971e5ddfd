#include "TunnelDaemon.h"

#include "ServiceConstants.h"

#include <utility>

namespace korvel::service {

TunnelDaemon::TunnelDaemon(int listeningSocket, DaemonSettings settings)
    : settings_(std::move(settings)), store_(settings_.stateDirectory, std::string(configurationFileName)),
      tools_(settings_.toolsDirectory, store_.path(), settings_.interfaceName), service_(store_, tools_),
      delegate_(settings_.applicationPath),
      listener_(listeningSocket, delegate_, settings_.identities, service_, settings_.requestTimeout,
                settings_.authorityBus) {}

} // namespace korvel::service
