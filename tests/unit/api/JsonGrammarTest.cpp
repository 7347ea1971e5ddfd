// The JSON text itself: every value is checked, also under keys no record reads.

#include "ApiEnvelope.h"
#include "WireGuardConfig.h"

#include <gtest/gtest.h>

#include <string>

namespace korvel::api {
namespace {

struct GrammarCase {
    const char* name;
    std::string value; // placed under a key that no record reads
    bool valid;
};

class JsonGrammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(JsonGrammar, UnreadValuesMustStillBeWellFormed) {
    const std::string body = R"({"ignored": )" + GetParam().value + R"(, "data": {"config": "x"}})";
    EXPECT_EQ(ApiEnvelope<WireGuardConfig>::decode(QByteArray::fromStdString(body)).has_value(),
              GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Values, JsonGrammar,
    testing::Values(
        GrammarCase{"nested", R"({"a": [1, -2.5e+3, true, false, null, "s", {}]})", true},
        GrammarCase{"hugeInteger", "123456789012345678901234567890", true},
        GrammarCase{"negativeZero", "-0", true}, GrammarCase{"leadingZero", "01", false},
        GrammarCase{"leadingPlus", "+1", false}, GrammarCase{"bareFraction", ".5", false},
        GrammarCase{"emptyFraction", "1.", false}, GrammarCase{"emptyExponent", "1e", false},
        GrammarCase{"loneMinus", "-", false}, GrammarCase{"notANumber", "NaN", false},
        GrammarCase{"infinity", "Infinity", false}, GrammarCase{"singleQuotes", "'s'", false},
        GrammarCase{"trailingCommaInArray", "[1,]", false},
        GrammarCase{"trailingCommaInObject", R"({"a":1,})", false},
        GrammarCase{"missingColon", R"({"a" 1})", false}, GrammarCase{"unquotedKey", "{a:1}", false},
        GrammarCase{"truncatedLiteral", "tru", false}, GrammarCase{"capitalLiteral", "True", false},
        GrammarCase{"escapes", R"("\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00")", true},
        GrammarCase{"unknownEscape", R"("\x41")", false},
        GrammarCase{"shortUnicodeEscape", R"("\u12")", false},
        GrammarCase{"loneHighSurrogate", R"("\ud83d")", false},
        GrammarCase{"loneLowSurrogate", R"("\ude00")", false},
        GrammarCase{"highSurrogateThenLetter", R"("\ud83dx")", false},
        GrammarCase{"twoHighSurrogates", R"("\ud83d\ud83d")", false},
        GrammarCase{"rawControlCharacter", "\"a\tb\"", false}, GrammarCase{"rawNewline", "\"a\nb\"", false},
        GrammarCase{"utf8TwoThreeFourBytes", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", true},
        GrammarCase{"utf8Overlong", "\"\xC0\xAF\"", false},
        GrammarCase{"utf8OverlongThreeBytes", "\"\xE0\x80\xAF\"", false},
        GrammarCase{"utf8EncodedSurrogate", "\"\xED\xA0\x80\"", false},
        GrammarCase{"utf8BeyondUnicode", "\"\xF4\x90\x80\x80\"", false},
        GrammarCase{"utf8LoneContinuation", "\"\x80\"", false},
        GrammarCase{"utf8Truncated", "\"\xE2\x82\"", false},
        GrammarCase{"unterminatedString", "\"abc", false}, GrammarCase{"unclosedArray", "[1, 2", false},
        GrammarCase{"deepButAllowed", std::string(500, '[') + std::string(500, ']'), true},
        GrammarCase{"tooDeep", std::string(100000, '[') + std::string(100000, ']'), false}),
    [](const testing::TestParamInfo<GrammarCase>& info) { return info.param.name; });

TEST(JsonDocument, TopLevelMustBeOneObjectAndNothingElse) {
    EXPECT_TRUE(ApiEnvelope<WireGuardConfig>::decode(" \r\n\t{} \n").has_value());
    EXPECT_TRUE(ApiEnvelope<WireGuardConfig>::decode("\xEF\xBB\xBF{}").has_value()); // byte order mark
    for (const char* body : {"", " ", "null", "[]", "\"data\"", "1", "{} {}", "{}x", "\xEF\xBB{}"}) {
        EXPECT_FALSE(ApiEnvelope<WireGuardConfig>::decode(body).has_value()) << body;
    }
    EXPECT_FALSE(ApiEnvelope<WireGuardConfig>::decode(QByteArray("{}\0", 3)).has_value());
}

TEST(JsonDocument, EscapedKeysMatchAndStringsKeepEveryCharacter) {
    const auto envelope =
        ApiEnvelope<WireGuardConfig>::decode(R"({"d\u0061ta": {"config": "a\u0000b\nc\u00e9\ud83d\ude00"}})");
    ASSERT_TRUE(envelope && envelope->data);
    EXPECT_EQ(envelope->data->config, QString::fromUtf8("a\0b\nc\xC3\xA9\xF0\x9F\x98\x80", 11));
}

} // namespace
} // namespace korvel::api
