#pragma once

#include "ConfigurationStore.h"
#include "TunnelTools.h"

#include <optional>
#include <string>

namespace korvel::service {

// The two tunnel operations. Each returns nothing on success, else the sentence to reply with.
// Not thread-safe: the operation queue runs them one at a time.
class TunnelService {
public:
    TunnelService(const ConfigurationStore& store, TunnelTools& tools);

    std::optional<std::string> connect(const std::string& configuration);
    std::optional<std::string> disconnect();

private:
    // Brings down the tunnel of an earlier connect. A failure counts only while the interface is still
    // there; the file then stays, as the only way a later disconnect can still take that tunnel down.
    std::optional<ServiceError> takeDown();

    const ConfigurationStore& store_;
    TunnelTools& tools_;
};

} // namespace korvel::service
