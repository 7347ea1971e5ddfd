#include "KeyPair.h"

#include <sodium.h>

#include <array>
#include <stdexcept>

namespace korvel::devapi {
namespace {

std::string base64(const std::array<unsigned char, crypto_box_SECRETKEYBYTES>& key) {
    std::array<char, sodium_base64_ENCODED_LEN(crypto_box_SECRETKEYBYTES, sodium_base64_VARIANT_ORIGINAL)>
        text{};
    sodium_bin2base64(text.data(), text.size(), key.data(), key.size(), sodium_base64_VARIANT_ORIGINAL);
    return text.data();
}

} // namespace

KeyPair KeyPair::generate() {
    static_assert(crypto_box_PUBLICKEYBYTES == crypto_box_SECRETKEYBYTES);
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium cannot start");
    }
    std::array<unsigned char, crypto_box_SECRETKEYBYTES> secret{};
    std::array<unsigned char, crypto_box_PUBLICKEYBYTES> publicKey{};
    crypto_box_keypair(publicKey.data(), secret.data());
    // WireGuard clamps the private key itself; store it clamped so every tool shows the same bytes.
    secret[0] &= 248;
    secret[31] = static_cast<unsigned char>((secret[31] & 127) | 64);
    crypto_scalarmult_base(publicKey.data(), secret.data());
    KeyPair pair{base64(secret), base64(publicKey)};
    sodium_memzero(secret.data(), secret.size());
    return pair;
}

} // namespace korvel::devapi
