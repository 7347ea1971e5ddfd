#pragma once

#include "ServiceError.h"

#include <optional>
#include <string_view>

namespace korvel::service {

// The outside programs and probes the tunnel operations rely on.
class TunnelTools {
public:
    virtual ~TunnelTools() = default;
    // Runs wg-quick with "up" or "down" and the configuration file; nullopt on success.
    virtual std::optional<ServiceError> runWireGuard(std::string_view operation) = 0;
    virtual bool interfaceIsPresent() = 0;
};

} // namespace korvel::service
