#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvel::devapi {

// Hands out single IPv4 host addresses ("10.64.0.2/32") from a network given as "10.64.0.0/16". The
// network's first host address is left for the server side of the tunnel.
class AddressPool {
public:
    // Throws std::invalid_argument for anything but an IPv4 network of /8 to /30.
    explicit AddressPool(const std::string& network);

    // None once the network is used up.
    std::optional<std::string> next();

private:
    std::uint32_t base_ = 0;
    std::uint32_t size_ = 0;
    std::uint32_t nextHost_ = 2;
};

} // namespace korvel::devapi
