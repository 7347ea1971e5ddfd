#include "AddressPool.h"

#include <arpa/inet.h>

#include <charconv>
#include <stdexcept>

namespace korvel::devapi {

AddressPool::AddressPool(const std::string& network) {
    const auto slash = network.find('/');
    in_addr address{};
    int prefix = 0;
    const char* prefixEnd = network.data() + network.size();
    if (slash == std::string::npos || inet_pton(AF_INET, network.substr(0, slash).c_str(), &address) != 1 ||
        std::from_chars(network.data() + slash + 1, prefixEnd, prefix).ptr != prefixEnd || prefix < 8 ||
        prefix > 30) {
        throw std::invalid_argument("address pool must be an IPv4 network such as 10.64.0.0/16");
    }
    size_ = std::uint32_t{1} << (32 - prefix);
    base_ = ntohl(address.s_addr) & ~(size_ - 1);
}

std::optional<std::string> AddressPool::next() {
    // The last address of the network is its broadcast address.
    if (nextHost_ >= size_ - 1) {
        return std::nullopt;
    }
    in_addr address{htonl(base_ + nextHost_++)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return std::string(text) + "/32";
}

} // namespace korvel::devapi
