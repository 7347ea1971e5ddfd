#pragma once

#include <string>

namespace korvel::devapi {

// A program told about every device that asks for a configuration, so a real WireGuard peer can admit
// it. It runs without a shell, by absolute path, as: PROGRAM PUBLIC_KEY ADDRESS HOSTNAME.
class PeerHook {
public:
    // Throws std::invalid_argument unless the path is absolute.
    explicit PeerHook(std::string program);

    // True when the program ran and exited with status 0.
    bool run(const std::string& publicKey, const std::string& address, const std::string& hostname) const;

private:
    std::string program_;
};

} // namespace korvel::devapi
