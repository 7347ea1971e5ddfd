#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::service {

// Largest configuration text accepted, in UTF-8 bytes.
inline constexpr std::size_t kMaxConfigurationBytes = 65536;

// Whitelist check of a WireGuard configuration before it is written for the tools that run as root.
// `text` is UTF-8; text that is not well-formed UTF-8 is unsafe. Pure: no side effects, no reason given.
bool configurationIsSafe(std::string_view text);

// The configuration as the check judged it, or nullopt when it is unsafe: the section headers and the
// settings in their order, each setting as "Key = value" with key and value trimmed as the check trims
// them, every line ended by a line feed; blank and comment lines are left out. This, not `text`, is
// what the tools may be given: they split lines at line feeds alone, where the check also ends a line
// at VT, FF, CR, NEL, LS and PS. Judged again, the result is safe and unchanged, unless the spaces
// around "=" and the final line feed took it past kMaxConfigurationBytes.
std::optional<std::string> judgedConfiguration(std::string_view text);

} // namespace korvel::service
