#pragma once

#include <string>

namespace korvel::devapi {

// A fresh X25519 key pair in WireGuard's form: standard base64, 44 characters each.
struct KeyPair {
    std::string privateKey;
    std::string publicKey;

    static KeyPair generate();
};

} // namespace korvel::devapi
