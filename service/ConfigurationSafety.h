#pragma once

#include <cstddef>
#include <string_view>

namespace korvel::service {

// Largest configuration text accepted, in UTF-8 bytes.
inline constexpr std::size_t kMaxConfigurationBytes = 65536;

// Whitelist check of a WireGuard configuration before it is written for the tools that run as root.
// `text` is UTF-8; text that is not well-formed UTF-8 is unsafe. Pure: no side effects, no reason given.
bool configurationIsSafe(std::string_view text);

} // namespace korvel::service
