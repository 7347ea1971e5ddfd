#include "ToolMessage.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(ToolMessage, IsTheLastNonEmptyLineAsWritten) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"\n\n\n", ""},
        {"only", "only"},
        {"first\nsecond\n\n\n", "second"},
        {"  kept spaces  \n", "  kept spaces  "},
        {"first\r\nsecond\r\n", "first\r\nsecond\r\n"},
        {"lone\nfirst\r\nsecond\r\n", "first\r\nsecond\r\n"},
        {"a\rb", "a\rb"},
        {"[#] ip link add korvel\n\u256d\u2500 wireguard-go\n", "\u256d\u2500 wireguard-go"},
        {"good line\n\xff\n", ""},
        {"cut \xe2\x94", ""},
        {"\xed\xa0\x80 surrogate\n", ""},
    };
    for (const auto& [output, message] : cases) {
        EXPECT_EQ(korvel::service::toolMessage(output), message) << output;
    }
}
