#include "ConfigurationSafety.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using korvel::service::configurationIsSafe;
using korvel::service::judgedConfiguration;

namespace {

const std::string kKey = "yAnz5TF+lXXJte14tji3zlMNq+hd2rYUIgJBgB3fBmk=";

std::string inInterface(const std::string& line) { return "[Interface]\n" + line + "\n[Peer]\n"; }
std::string inPeer(const std::string& line) { return "[Interface]\n[Peer]\n" + line + "\n"; }

TEST(ConfigurationSafety, JudgesSectionsKeysAndValues) {
    const auto port = [](const std::string& v) { return inInterface("ListenPort = " + v); };
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
    const std::string safe[] = {
        "[Interface]\nPrivateKey = " + kKey + "\nAddress = 10.66.0.2/32, fd00:66::2/128\nDNS = 10.66.0.1\n" +
            "MTU = 1420\nListenPort = 51820\n\n[Peer]\nPublicKey = " + kKey + "\nPresharedKey = " + kKey +
            "\nAllowedIPs = 0.0.0.0/0, ::/0\nEndpoint = de-fra-01.korvel.example:51820\n" +
            "PersistentKeepalive = 25\n",
        // Peer first, headers and keys repeated; forbidden characters in an indented comment; later equals
        // signs belonging to the value.
        "[Peer]\n[Interface]\nMTU=1420\nMTU=1500\n[Peer]\n[Interface]",
        inInterface("   # PostUp = $(reboot); `id` \\ \" '"),
        inPeer("PublicKey = " + std::string(42, 'A') + "=="),
        inPeer("PublicKey = " + alphabet.substr(0, 44) + "\nPresharedKey = " + alphabet.substr(21)),
        inInterface("Address = 10.0.0.2/32,\t FD00:ABCD::2/128"), inPeer("Endpoint = [2001:db8::7]:51820"),
        inInterface("MTU = 576"), inInterface("MTU = +9000"), port("-0"),
        port(std::string(100, '0') + "65535")};
    const std::string unsafe[] = {"",
                                  "# [Interface]\n# [Peer]\n",
                                  "[Interface]\nPrivateKey = " + kKey,
                                  "[Peer]\nEndpoint = 1.2.3.4:51820",
                                  "MTU = 1420\n[Interface]\n[Peer]",
                                  "[interface]\n[Peer]",
                                  "[ Interface ]\n[Peer]",
                                  "[Interface] # tunnel\n[Peer]",
                                  "[Interface]\n[Peer]\n[Relay]",
                                  inInterface("MTU 1420"),
                                  inInterface("= 1420"),
                                  inInterface("MTU = \t "),
                                  inInterface("MTU = 1420 # jumbo"),
                                  inPeer("MTU = 1420"),
                                  inInterface("Endpoint = 1.2.3.4:51820"),
                                  inInterface("PrivateKey = " + kKey.substr(1)),
                                  inInterface("PrivateKey = " + kKey + "A"),
                                  inPeer("PublicKey = " + std::string(43, '-') + "_"),
                                  inPeer("PublicKey = " + kKey.substr(0, 42) + "\xC3\xA9"),
                                  inInterface("DNS = dns.korvel.example"),
                                  inPeer("AllowedIPs = 0.0.0.0/0, g::/0"),
                                  inInterface("Address = 10.66.0.\xEF\xBC\x91"),
                                  inPeer("Endpoint = 185.12.7.9"),
                                  inPeer("Endpoint = de_fra.korvel.example:51820"),
                                  inPeer("Endpoint = de fra.korvel.example:51820"),
                                  inPeer("Endpoint = z\xC3\xBCrich.korvel.example:51820"),
                                  inInterface("MTU = 575"),
                                  inInterface("MTU = 9001"),
                                  inPeer("PersistentKeepalive = 65536"),
                                  inInterface("MTU = 18446744073709553036")};
    for (const std::string& text : safe) {
        EXPECT_TRUE(configurationIsSafe(text)) << testing::PrintToString(text);
    }
    for (const std::string& text : unsafe) {
        EXPECT_FALSE(configurationIsSafe(text)) << testing::PrintToString(text);
    }
    // Beyond 64 bits a value must not wrap around into the range.
    for (const std::string value : {"65536", "-1", "+", "+-1", "51 820", "0x10", "1.0", "\xD9\xA1\xD9\xA2",
                                    "18446744073709551641", "-18446744073709551591"}) {
        EXPECT_FALSE(configurationIsSafe(port(value))) << value;
    }
    for (const std::string key : {"PostUp", "PreDown", "Table", "FwMark", "SaveConfig", "mtu", "M TU"}) {
        EXPECT_FALSE(configurationIsSafe(inInterface(key + " = 1420"))) << key;
    }
    for (const char c : std::string(";`$\\\"'")) {
        EXPECT_FALSE(configurationIsSafe(inInterface(std::string("Address = 10.0.0.1") + c))) << c;
        EXPECT_FALSE(configurationIsSafe(inPeer(std::string("Endpoint = h:1") + c))) << c;
    }
}

// The tools end a line at LF alone: they get the judged lines, each ended by one.
TEST(ConfigurationSafety, EverySeparatorEndsALineAndOnlySpaceSeparatorsAreTrimmed) {
    for (const std::string sep :
         {"\n", "\v", "\f", "\r", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9", "\r\n"}) {
        const std::string text =
            "[Interface]" + sep + "MTU = 1420" + sep + sep + "[Peer]" + sep + "Endpoint = h:1" + sep;
        EXPECT_EQ(judgedConfiguration(text), "[Interface]\nMTU = 1420\n[Peer]\nEndpoint = h:1\n")
            << testing::PrintToString(sep);
    }
    // The tab and every character of Unicode category Zs.
    for (const std::string s :
         {"\t", " ", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
          "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
          "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"}) {
        const std::string text = s + "[Interface]" + s + "\n" + s + "MTU" + s + "=" + s + "1420" + s + "\n" +
                                 s + "[Peer]" + s + s + "\n" + s + "#" + s;
        EXPECT_EQ(judgedConfiguration(text), "[Interface]\nMTU = 1420\n[Peer]\n")
            << testing::PrintToString(s);
    }
    // Blank-looking characters that are not space separators: byte-order mark, zero width space,
    // Mongolian vowel separator (no longer Zs), file separator; and separators that do not end a line.
    for (const std::string s : {"\xEF\xBB\xBF", "\xE2\x80\x8B", "\xE1\xA0\x8E", "\x1C"}) {
        EXPECT_FALSE(configurationIsSafe(inInterface("MTU = 1420" + s))) << testing::PrintToString(s);
        EXPECT_FALSE(configurationIsSafe(s + "[Interface]\n[Peer]")) << testing::PrintToString(s);
    }
    EXPECT_FALSE(configurationIsSafe("[Interface]\x1E[Peer]"));
    EXPECT_FALSE(configurationIsSafe(std::string("[Interface]\n[Peer]\0", 19)));
    EXPECT_FALSE(configurationIsSafe(inInterface("Address = 10.0.0.2\xE2\x80\xA8/32")));
    EXPECT_FALSE(configurationIsSafe(inInterface("Address = 10.0.0.2,\xC2\xA0"
                                                 "10.0.0.3")));
    // Read at LF alone, this would be one long Address line; judged, it is three lines.
    EXPECT_EQ(judgedConfiguration("[Interface]\nAddress = 10.0.0.1/32\r[Peer]\rEndpoint = a:1"),
              "[Interface]\nAddress = 10.0.0.1/32\n[Peer]\nEndpoint = a:1\n");
}

TEST(ConfigurationSafety, TextMustBeWellFormedUtf8OfAtMost64KiB) {
    // One character of one to four bytes repeated in a comment, padded with ASCII to the exact size.
    const auto padded = [](std::size_t bytes, const std::string& filler) {
        std::string text = "[Interface]\n[Peer]\n#";
        while (text.size() + filler.size() <= bytes) {
            text += filler;
        }
        return text.append(bytes - text.size(), 'x');
    };
    for (const std::string filler : {"a", "\xC3\xA9", "\xE6\x9D\xB1", "\xF0\x9F\x87\xA9"}) {
        EXPECT_TRUE(configurationIsSafe(padded(65536, filler))) << testing::PrintToString(filler);
        EXPECT_FALSE(configurationIsSafe(padded(65537, filler))) << testing::PrintToString(filler);
    }
    // Each sits in a comment line, which would otherwise be skipped.
    for (const std::string bytes :
         {"\x80", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80",
          "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "\xE2\x82x"}) {
        EXPECT_FALSE(configurationIsSafe("[Interface]\n# " + bytes + "\n[Peer]\n"))
            << testing::PrintToString(bytes);
    }
    EXPECT_FALSE(configurationIsSafe("[Interface]\n[Peer]\n# \xE2\x82")) << "truncated at the end";
    EXPECT_TRUE(configurationIsSafe(
        "# Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x87\xA9\n[Interface]\n"
        "# \xEF\xBB\xBF \xEF\xBF\xBF \xF4\x8F\xBF\xBF \xED\x9F\xBF \xEE\x80\x80\n[Peer]\n"));
}

} // namespace
