#include "ConfigurationSafety.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using korvel::service::configurationIsSafe;
using korvel::service::kMaxConfigurationBytes;

namespace {

struct Case {
    std::string name;
    std::string text;
    bool safe;
};

void expectAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(configurationIsSafe(c.text), c.safe) << c.name;
    }
}

const std::string kKey = "yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=";

// A configuration shaped like the ones the API hands out.
const std::string kRealistic = "[Interface]\n"
                               "PrivateKey = " +
                               kKey +
                               "\n"
                               "Address = 10.66.0.2/32, fd00:66::2/128\n"
                               "DNS = 10.66.0.1, fd00:66::1\n"
                               "MTU = 1420\n"
                               "\n"
                               "[Peer]\n"
                               "PublicKey = xTIBA5rboUvnH4htodjb6e697QjLERt1NAB4mZqp8Dg=\n"
                               "PresharedKey = " +
                               kKey +
                               "\n"
                               "AllowedIPs = 0.0.0.0/0, ::/0\n"
                               "Endpoint = de-fra-01.korvel.example:51820\n"
                               "PersistentKeepalive = 25\n";

std::string inInterface(const std::string& line) { return "[Interface]\n" + line + "\n[Peer]\n"; }
std::string inPeer(const std::string& line) { return "[Interface]\n[Peer]\n" + line + "\n"; }

// Pads `text` with a comment line to exactly `bytes` UTF-8 bytes, using `filler` (one character).
std::string paddedTo(std::string text, std::size_t bytes, const std::string& filler) {
    text += "#";
    while (text.size() + filler.size() <= bytes) {
        text += filler;
    }
    text.append(bytes - text.size(), 'x');
    return text;
}

TEST(ConfigurationSafety, SectionsSeenDecideTheEnd) {
    expectAll({
        {"realistic", kRealistic, true},
        {"two headers only", "[Interface]\n[Peer]", true},
        {"peer first", "[Peer]\n[Interface]\n", true},
        {"two peers", "[Interface]\n[Peer]\nPublicKey=" + kKey + "\n[Peer]\nPublicKey=" + kKey, true},
        {"header repeated with a key repeated",
         "[Interface]\nMTU=1420\n[Peer]\n[Interface]\nMTU=1280\nMTU=1500\n", true},
        {"empty text", "", false},
        {"comments only", "# [Interface]\n# [Peer]\n", false},
        {"no peer", "[Interface]\nPrivateKey = " + kKey + "\n", false},
        {"no interface", "[Peer]\nPublicKey = " + kKey + "\nEndpoint = 1.2.3.4:51820\n", false},
        {"setting before the first header", "MTU = 1420\n[Interface]\n[Peer]\n", false},
    });
}

TEST(ConfigurationSafety, OnlyExactHeadersAreHeaders) {
    expectAll({
        {"indented header", "  [Interface]\t\n\t[Peer]  ", true},
        {"lower case", "[interface]\n[Peer]", false},
        {"space inside brackets", "[ Interface ]\n[Peer]", false},
        {"comment after header", "[Interface] # tunnel\n[Peer]", false},
        {"unknown section", "[Interface]\n[Peer]\n[Relay]", false},
        {"missing bracket", "[Interface]\n[Peer", false},
        {"doubled brackets", "[Interface]\n[[Peer]]", false},
    });
}

TEST(ConfigurationSafety, EverySeparatorEndsALine) {
    const std::vector<std::string> separators = {"\n",       "\v",           "\f",           "\r",
                                                 "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\r\n"};
    for (const std::string& sep : separators) {
        const std::string text = "[Interface]" + sep + "MTU = 1420" + sep + sep + "[Peer]" + sep +
                                 "Endpoint = 1.2.3.4:51820" + sep;
        EXPECT_TRUE(configurationIsSafe(text)) << "separator bytes " << testing::PrintToString(sep);
    }
    expectAll({
        // Neither the information separators nor NUL end a line.
        {"record separator", "[Interface]\x1E[Peer]", false},
        {"unit separator", "[Interface]\n[Peer]\x1F", false},
        {"nul", std::string("[Interface]\n[Peer]\0", 19), false},
        // A separator inside a value splits it: the rest is a setting without "=".
        {"line separator inside a value", inInterface("Address = 10.0.0.2\xE2\x80\xA8/32"), false},
        {"next line inside a value", inInterface("Address = 10.0.0.2\xC2\x85/32"), false},
    });
}

TEST(ConfigurationSafety, TrimsTabAndSpaceSeparatorsOnly) {
    // Every character of Unicode category Zs, and the horizontal tab.
    const std::vector<std::string> spaces = {
        "\t",           " ",
        "\xC2\xA0",     "\xE1\x9A\x80",
        "\xE2\x80\x80", "\xE2\x80\x81",
        "\xE2\x80\x82", "\xE2\x80\x83",
        "\xE2\x80\x84", "\xE2\x80\x85",
        "\xE2\x80\x86", "\xE2\x80\x87",
        "\xE2\x80\x88", "\xE2\x80\x89",
        "\xE2\x80\x8A", "\xE2\x80\xAF",
        "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    for (const std::string& s : spaces) {
        const std::string text = s + "[Interface]" + s + "\n" + s + "MTU" + s + "=" + s + "1420" + s + "\n" +
                                 s + "[Peer]" + s + s + "\n" + s + "#" + s + "\n";
        EXPECT_TRUE(configurationIsSafe(text)) << "space bytes " << testing::PrintToString(s);
    }
    // Characters that look blank but are not space separators are kept, and fail every value set.
    const std::vector<std::string> notSpaces = {
        "\xEF\xBB\xBF", // byte-order mark U+FEFF
        "\xE2\x80\x8B", // zero width space U+200B
        "\xE1\xA0\x8E", // Mongolian vowel separator U+180E, no longer Zs
        "\xE2\x81\xA0", // word joiner U+2060
        "\x1C",         // file separator
    };
    for (const std::string& s : notSpaces) {
        EXPECT_FALSE(configurationIsSafe(inInterface("MTU = 1420" + s))) << testing::PrintToString(s);
        EXPECT_FALSE(configurationIsSafe(s + "[Interface]\n[Peer]")) << testing::PrintToString(s);
    }
    expectAll({
        {"inner no-break space in an address",
         inInterface("Address = 10.0.0.2,\xC2\xA0"
                     "10.0.0.3"),
         false},
        {"inner tab and space in an address", inInterface("Address = 10.0.0.2/32,\t fd00::2/128"), true},
    });
}

TEST(ConfigurationSafety, SettingSyntax) {
    expectAll({
        {"no spaces", inInterface("MTU=1420"), true},
        {"no equals sign", inInterface("MTU 1420"), false},
        {"empty key", inInterface("= 1420"), false},
        {"empty value", inInterface("MTU ="), false},
        {"blank value", inInterface("MTU = \t "), false},
        {"later equals signs belong to the value", inPeer("PublicKey = " + std::string(43, 'A') + "="), true},
        {"key ending in equals sign", inPeer("PublicKey = " + std::string(42, 'A') + "=="), true},
        {"comment after a value", inInterface("MTU = 1420 # jumbo"), false},
        {"comment directly after a value", inInterface("MTU = 1420#"), false},
        {"indented whole-line comment", inInterface("   # PostUp = rm -rf /"), true},
        {"comment holding forbidden characters", inInterface("# $(reboot); `id` \\ \" '"), true},
    });
}

TEST(ConfigurationSafety, KeysBelongToTheirSection) {
    const std::vector<std::pair<std::string, std::string>> interfaceKeys = {
        {"PrivateKey", kKey}, {"Address", "10.0.0.2/32"}, {"DNS", "10.0.0.1"},
        {"MTU", "1420"},      {"ListenPort", "51820"},
    };
    const std::vector<std::pair<std::string, std::string>> peerKeys = {
        {"PublicKey", kKey},           {"PresharedKey", kKey},        {"AllowedIPs", "0.0.0.0/0"},
        {"Endpoint", "1.2.3.4:51820"}, {"PersistentKeepalive", "25"},
    };
    for (const auto& [key, value] : interfaceKeys) {
        EXPECT_TRUE(configurationIsSafe(inInterface(key + " = " + value))) << key;
        EXPECT_FALSE(configurationIsSafe(inPeer(key + " = " + value))) << key << " under [Peer]";
    }
    for (const auto& [key, value] : peerKeys) {
        EXPECT_TRUE(configurationIsSafe(inPeer(key + " = " + value))) << key;
        EXPECT_FALSE(configurationIsSafe(inInterface(key + " = " + value))) << key << " under [Interface]";
    }
    // Keys the tools understand but that are not allowed, and allowed keys in another letter case.
    for (const std::string key : {"PostUp", "PreUp", "PostDown", "PreDown", "Table", "FwMark", "SaveConfig",
                                  "mtu", "dns", "Mtu", "privatekey", "M TU"}) {
        EXPECT_FALSE(configurationIsSafe(inInterface(key + " = 1420"))) << key;
    }
    EXPECT_FALSE(configurationIsSafe(inPeer("endpoint = 1.2.3.4:51820")));
}

TEST(ConfigurationSafety, KeyValues) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    const std::string alphabetTwice = alphabet + alphabet;
    expectAll({
        {"44 equals signs", inInterface("PrivateKey = " + std::string(44, '=')), true},
        {"whole alphabet",
         inPeer("PublicKey = " + alphabetTwice.substr(0, 44) +
                "\nPresharedKey = " + alphabetTwice.substr(44, 44)),
         true},
        {"43 characters", inInterface("PrivateKey = " + kKey.substr(1)), false},
        {"45 characters", inInterface("PrivateKey = " + kKey + "A"), false},
        {"URL-safe alphabet", inPeer("PublicKey = " + std::string(43, '-') + "_"), false},
        {"inner space", inPeer("PresharedKey = " + kKey.substr(0, 20) + " " + kKey.substr(21)), false},
        // 44 characters but more bytes: a length counted in bytes or characters must not matter.
        {"two-byte character", inPeer("PublicKey = " + kKey.substr(0, 43) + "\xC3\xA9"), false},
        {"42 characters plus one two-byte", inPeer("PublicKey = " + kKey.substr(0, 42) + "\xC3\xA9"), false},
    });
}

TEST(ConfigurationSafety, AddressValues) {
    for (const std::string key : {"Address", "DNS"}) {
        expectAll({
            {key + " IPv4 and IPv6", inInterface(key + " = 10.66.0.1, fd00:66::1"), true},
            {key + " upper-case hex", inInterface(key + " = FD00:ABCD::1/64"), true},
            {key + " host name", inInterface(key + " = dns.korvel.example"), false},
            {key + " search domain", inInterface(key + " = 10.66.0.1, lan"), false},
            {key + " semicolon", inInterface(key + " = 10.66.0.1;reboot"), false},
            {key + " dollar", inInterface(key + " = $(id)"), false},
            {key + " backslash", inInterface(key + " = 10.66.0.1\\"), false},
            {key + " quote", inInterface(key + " = \"10.66.0.1\""), false},
            {key + " apostrophe", inInterface(key + " = '10.66.0.1'"), false},
            {key + " grave accent", inInterface(key + " = `id`"), false},
            {key + " full-width digit", inInterface(key + " = 10.66.0.\xEF\xBC\x91"), false},
        });
    }
    expectAll({
        {"allowed IPs", inPeer("AllowedIPs = 0.0.0.0/0,::/0"), true},
        {"allowed IPs with letter g", inPeer("AllowedIPs = 0.0.0.0/0, g::/0"), false},
        {"allowed IPs with a hyphen", inPeer("AllowedIPs = 10.0.0.0-10.0.0.9"), false},
    });
}

TEST(ConfigurationSafety, EndpointValues) {
    expectAll({
        {"IPv4 with port", inPeer("Endpoint = 185.12.7.9:51820"), true},
        {"bracketed IPv6 with port", inPeer("Endpoint = [2001:db8::7]:51820"), true},
        {"host name with port", inPeer("Endpoint = de-fra-01.korvel.example:51820"), true},
        {"colon alone", inPeer("Endpoint = :"), true},
        {"bare IPv4", inPeer("Endpoint = 185.12.7.9"), false},
        {"underscore", inPeer("Endpoint = de_fra.korvel.example:51820"), false},
        {"inner space", inPeer("Endpoint = de fra.korvel.example:51820"), false},
        {"tab", inPeer("Endpoint = 185.12.7.9:\t51820"), false},
        {"slash", inPeer("Endpoint = 185.12.7.9/32:51820"), false},
        {"command substitution", inPeer("Endpoint = $(id):51820"), false},
        {"accented host", inPeer("Endpoint = z\xC3\xBCrich.korvel.example:51820"), false},
    });
}

TEST(ConfigurationSafety, IntegerRanges) {
    expectAll({
        {"MTU 575", inInterface("MTU = 575"), false},
        {"MTU 576", inInterface("MTU = 576"), true},
        {"MTU 9000", inInterface("MTU = 9000"), true},
        {"MTU 9001", inInterface("MTU = 9001"), false},
        {"MTU +1420", inInterface("MTU = +1420"), true},
        {"MTU with leading zeros", inInterface("MTU = 0001420"), true},
        {"MTU -1420", inInterface("MTU = -1420"), false},
    });
    for (const std::string line : {"ListenPort", "PersistentKeepalive"}) {
        const auto text = [&](const std::string& value) {
            const std::string setting = line + " = " + value;
            return line == "ListenPort" ? inInterface(setting) : inPeer(setting);
        };
        expectAll({
            {line + " 0", text("0"), true},
            {line + " -0", text("-0"), true},
            {line + " +0", text("+0"), true},
            {line + " 65535", text("65535"), true},
            {line + " 65536", text("65536"), false},
            {line + " -1", text("-1"), false},
            {line + " hundred leading zeros", text(std::string(100, '0') + "25"), true},
        });
    }
}

TEST(ConfigurationSafety, DecimalIntegerGrammar) {
    const auto port = [](const std::string& value) { return inInterface("ListenPort = " + value); };
    expectAll({
        {"lone plus", port("+"), false},
        {"lone minus", port("-"), false},
        {"two signs", port("+-1"), false},
        {"doubled plus", port("++1"), false},
        {"sign after digits", port("1+"), false},
        {"space after sign", port("+ 1"), false},
        {"inner space", port("51 820"), false},
        {"hexadecimal", port("0x10"), false},
        {"exponent", port("1e3"), false},
        {"fraction", port("1.0"), false},
        {"thousands separator", port("51,820"), false},
        {"Arabic-Indic digits", port("\xD9\xA1\xD9\xA2"), false},
        {"full-width digits", port("\xEF\xBC\x91\xEF\xBC\x92"), false},
        // Values beyond 64 bits must not wrap around into the range.
        {"2^64 + 25", port("18446744073709551641"), false},
        {"2^63 + 25", port("9223372036854775833"), false},
        {"-(2^64 - 25)", port("-18446744073709551591"), false},
        {"2^128 + 25", port("340282366920938463463374607431768211481"), false},
        {"int64 max", port("9223372036854775807"), false},
        {"int64 min", port("-9223372036854775808"), false},
    });
    EXPECT_FALSE(configurationIsSafe(inInterface("MTU = 18446744073709553036"))) << "2^64 + 1420";
}

TEST(ConfigurationSafety, SizeLimitCountsUtf8Bytes) {
    ASSERT_EQ(kMaxConfigurationBytes, 65536u);
    const std::string base = "[Interface]\n[Peer]\n";
    for (const std::string filler : {"a", "\xC3\xA9", "\xE6\x9D\xB1", "\xF0\x9F\x87\xA9"}) {
        const std::string atLimit = paddedTo(base, 65536, filler);
        const std::string overLimit = paddedTo(base, 65537, filler);
        ASSERT_EQ(atLimit.size(), 65536u);
        ASSERT_EQ(overLimit.size(), 65537u);
        EXPECT_TRUE(configurationIsSafe(atLimit)) << testing::PrintToString(filler);
        EXPECT_FALSE(configurationIsSafe(overLimit)) << testing::PrintToString(filler);
    }
    // No limit on lines: many short settings within the size still pass.
    std::string manyLines = "[Interface]\n[Peer]\n";
    while (manyLines.size() < 65000) {
        manyLines += "PersistentKeepalive=25\n\n";
    }
    EXPECT_TRUE(configurationIsSafe(manyLines));
}

TEST(ConfigurationSafety, TextMustBeWellFormedUtf8) {
    // Each sits in a comment line, which would otherwise be skipped.
    const std::vector<std::pair<std::string, std::string>> malformed = {
        {"lone continuation byte", "\x80"},
        {"overlong slash", "\xC0\xAF"},
        {"overlong two-byte lead", "\xC1\xBF"},
        {"overlong three-byte", "\xE0\x80\xAF"},
        {"overlong four-byte", "\xF0\x80\x80\xAF"},
        {"UTF-16 surrogate", "\xED\xA0\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80"},
        {"lead byte F5", "\xF5\x80\x80\x80"},
        {"byte FF", "\xFF"},
        {"missing continuation", "\xE2\x82x"},
    };
    for (const auto& [name, bytes] : malformed) {
        EXPECT_FALSE(configurationIsSafe("[Interface]\n# " + bytes + "\n[Peer]\n")) << name;
    }
    EXPECT_FALSE(configurationIsSafe("[Interface]\n[Peer]\n# \xE2\x82")) << "truncated at the end";
    expectAll({
        {"multi-byte characters in comments",
         "# Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\n"
         "[Interface]\n# \xEF\xBF\xBF \xF4\x8F\xBF\xBF \xED\x9F\xBF \xEE\x80\x80\n[Peer]\n",
         true},
        {"byte-order mark inside a comment", "[Interface]\n#\xEF\xBB\xBF\n[Peer]", true},
    });
}

} // namespace
