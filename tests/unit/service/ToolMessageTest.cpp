#include "ToolMessage.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using korvel::service::toolMessage;

TEST(ToolMessage, IsTheLastNonEmptyLineAsWritten) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"\n\n\n", ""},
        {"only", "only"},
        {"first\nsecond\n", "second"},
        {"first\nsecond\n\n\n", "second"},
        {"kept trailing spaces  \n", "kept trailing spaces  "},
        {"  indented\n", "  indented"},
        {"first\r\nsecond\r\n", "first\r\nsecond\r\n"},
        {"lone\nfirst\r\nsecond\r\n", "first\r\nsecond\r\n"},
        {"a\rb", "a\rb"},
        {"\r\n", "\r\n"},
        {"[#] ip link add korvel type wireguard\n\u256d\u2500 wireguard-go\n", "\u256d\u2500 wireguard-go"},
        {"good line\n\xff\n", ""},
        {"cut \xe2\x94", ""},
        {"\xed\xa0\x80 surrogate\n", ""},
    };
    for (const auto& [output, message] : cases) {
        EXPECT_EQ(toolMessage(output), message) << output;
    }
}
