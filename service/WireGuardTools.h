#pragma once

#include "TunnelTools.h"

#include <string>

namespace korvel::service {

// Runs the WireGuard tools shipped in the tools folder (`bash` and `wg-quick`) and probes the interface.
class WireGuardTools final : public TunnelTools {
public:
    WireGuardTools(std::string toolsDirectory, std::string configurationPath, std::string interfaceName);

    std::optional<ServiceError> runWireGuard(std::string_view operation) override;
    bool interfaceIsPresent() override;

private:
    std::string toolsDirectory_;
    std::string configurationPath_;
    std::string interfaceName_;
};

} // namespace korvel::service
