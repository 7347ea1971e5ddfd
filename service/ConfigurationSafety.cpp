#include "ConfigurationSafety.h"

#include "Utf8.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>

namespace korvel::service {
namespace {

// The text is validated as UTF-8 first, so every multi-byte character below can be matched as a byte
// sequence: a lead byte never occurs inside another character, and every value set is ASCII.

// Line feed, vertical tab, form feed and carriage return end a line, and so do these three, each alone:
// U+0085, U+2028, U+2029.
constexpr auto kMultiByteLineSeparators =
    std::to_array<std::string_view>({"\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"});

// Whitespace is the horizontal tab, the space, and these other space separators (Unicode category Zs).
constexpr auto kMultiByteSpaces = std::to_array<std::string_view>({
    "\xC2\xA0", "\xE1\x9A\x80",                                     // U+00A0, U+1680
    "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", // U+2000 ... U+200A
    "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", //
    "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A",                 //
    "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",                 // U+202F, U+205F, U+3000
});

// Membership in a set of ASCII characters, decided by table lookup.
class CharacterSet {
public:
    constexpr explicit CharacterSet(std::string_view characters) {
        for (const char c : characters) {
            members_[static_cast<unsigned char>(c)] = true;
        }
    }
    constexpr bool containsAll(std::string_view text) const {
        for (const char c : text) {
            if (!members_[static_cast<unsigned char>(c)]) {
                return false;
            }
        }
        return true;
    }
    constexpr bool containsAny(std::string_view text) const {
        for (const char c : text) {
            if (members_[static_cast<unsigned char>(c)]) {
                return true;
            }
        }
        return false;
    }

private:
    std::array<bool, 256> members_{};
};

constexpr CharacterSet kKeyAlphabet("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
constexpr CharacterSet kAddressCharacters("0123456789abcdefABCDEF:./, \t");
constexpr CharacterSet
    kEndpointCharacters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.:-[]");
constexpr CharacterSet kForbiddenCharacters(";`$\\\"'");
constexpr std::size_t kKeyLength = 44;

enum class ValueRule { WireGuardKey, Addresses, Endpoint, Mtu, Port };

struct AllowedKey {
    std::string_view name;
    ValueRule rule;
};

using SectionKeys = std::array<AllowedKey, 5>;

constexpr SectionKeys kInterfaceKeys{{
    {"PrivateKey", ValueRule::WireGuardKey},
    {"Address", ValueRule::Addresses},
    {"DNS", ValueRule::Addresses},
    {"MTU", ValueRule::Mtu},
    {"ListenPort", ValueRule::Port},
}};

constexpr SectionKeys kPeerKeys{{
    {"PublicKey", ValueRule::WireGuardKey},
    {"PresharedKey", ValueRule::WireGuardKey},
    {"AllowedIPs", ValueRule::Addresses},
    {"Endpoint", ValueRule::Endpoint},
    {"PersistentKeepalive", ValueRule::Port},
}};

bool isAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

// Length in bytes of the line separator that starts at `position`, or 0.
std::size_t separatorLengthAt(std::string_view text, std::size_t position) {
    const char c = text[position];
    if (isAscii(c)) {
        return c == '\n' || c == '\v' || c == '\f' || c == '\r' ? 1 : 0;
    }
    for (const std::string_view separator : kMultiByteLineSeparators) {
        if (text.substr(position).starts_with(separator)) {
            return separator.size();
        }
    }
    return 0;
}

bool isAsciiSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trimWhitespace(std::string_view text) {
    const auto spaceLengthAtStart = [](std::string_view rest) -> std::size_t {
        if (isAscii(rest.front())) {
            return isAsciiSpace(rest.front()) ? 1 : 0;
        }
        for (const std::string_view space : kMultiByteSpaces) {
            if (rest.starts_with(space)) {
                return space.size();
            }
        }
        return 0;
    };
    const auto spaceLengthAtEnd = [](std::string_view rest) -> std::size_t {
        if (isAscii(rest.back())) {
            return isAsciiSpace(rest.back()) ? 1 : 0;
        }
        for (const std::string_view space : kMultiByteSpaces) {
            if (rest.ends_with(space)) {
                return space.size();
            }
        }
        return 0;
    };
    for (std::size_t length = 0; !text.empty() && (length = spaceLengthAtStart(text)) != 0;) {
        text.remove_prefix(length);
    }
    for (std::size_t length = 0; !text.empty() && (length = spaceLengthAtEnd(text)) != 0;) {
        text.remove_suffix(length);
    }
    return text;
}

// An optional single "+" or "-", one or more ASCII digits, and a value that fits a signed 64-bit integer.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Accumulating towards the sign's side reaches INT64_MIN without overflowing on the way.
    std::int64_t value = 0;
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (negative) {
            if (value < (lowest + digit) / 10) {
                return std::nullopt;
            }
            value = value * 10 - digit;
        } else {
            if (value > (highest - digit) / 10) {
                return std::nullopt;
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

bool integerWithin(std::string_view text, std::int64_t lowest, std::int64_t highest) {
    const std::optional<std::int64_t> value = decimalInteger(text);
    return value && *value >= lowest && *value <= highest;
}

bool valueMeetsRule(std::string_view value, ValueRule rule) {
    switch (rule) {
    case ValueRule::WireGuardKey:
        return value.size() == kKeyLength && kKeyAlphabet.containsAll(value);
    case ValueRule::Addresses:
        return kAddressCharacters.containsAll(value);
    case ValueRule::Endpoint:
        return kEndpointCharacters.containsAll(value) && value.find(':') != std::string_view::npos;
    case ValueRule::Mtu:
        return integerWithin(value, 576, 9000);
    case ValueRule::Port:
        return integerWithin(value, 0, 65535);
    }
    return false;
}

std::optional<ValueRule> ruleForKey(const SectionKeys& keys, std::string_view key) {
    for (const AllowedKey& allowed : keys) {
        if (allowed.name == key) {
            return allowed.rule;
        }
    }
    return std::nullopt;
}

// Appends the setting as "Key = value" to `judged` when it is safe.
bool judgeSetting(const SectionKeys& keys, std::string_view line, std::string& judged) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view key = trimWhitespace(line.substr(0, equals));
    const std::optional<ValueRule> rule = ruleForKey(keys, key);
    if (!rule) {
        return false;
    }
    const std::string_view value = trimWhitespace(line.substr(equals + 1));
    if (value.empty() || kForbiddenCharacters.containsAny(value) || !valueMeetsRule(value, *rule)) {
        return false;
    }
    judged.append(key).append(" = ").append(value) += '\n';
    return true;
}

} // namespace

bool configurationIsSafe(std::string_view text) { return judgedConfiguration(text).has_value(); }

std::optional<std::string> judgedConfiguration(std::string_view text) {
    if (text.size() > kMaxConfigurationBytes || !isWellFormedUtf8(text)) {
        return std::nullopt;
    }
    std::string judged;
    const SectionKeys* section = nullptr;
    bool seenInterface = false;
    bool seenPeer = false;
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = lineStart;
        std::size_t separatorLength = 0;
        while (lineEnd < text.size() && (separatorLength = separatorLengthAt(text, lineEnd)) == 0) {
            ++lineEnd;
        }
        const std::string_view line = trimWhitespace(text.substr(lineStart, lineEnd - lineStart));
        // Past the end of the text this is one more than its size, which ends the loop.
        lineStart = lineEnd + (separatorLength == 0 ? 1 : separatorLength);

        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        if (line == "[Interface]") {
            section = &kInterfaceKeys;
            seenInterface = true;
            judged.append(line) += '\n';
        } else if (line == "[Peer]") {
            section = &kPeerKeys;
            seenPeer = true;
            judged.append(line) += '\n';
        } else if (section == nullptr || !judgeSetting(*section, line, judged)) {
            return std::nullopt;
        }
    }
    if (!seenInterface || !seenPeer) {
        return std::nullopt;
    }
    return judged;
}

} // namespace korvel::service
