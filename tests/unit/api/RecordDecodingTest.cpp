#include "Account.h"
#include "ApiEnvelope.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"
#include "WireGuardConfig.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

namespace korvel::api {
namespace {

template <class T>
bool decodes(const std::string& data) {
    return ApiEnvelope<T>::decode(QByteArray::fromStdString(R"({"data": )" + data + "}")).has_value();
}

bool envelope(const std::string& body) {
    return ApiEnvelope<Account>::decode(QByteArray::fromStdString(body)).has_value();
}

// Every value is checked, also one under a key that no record reads.
bool ignored(const std::string& value) {
    return decodes<WireGuardConfig>(R"({"x": )" + value + R"(, "config": ""})");
}

constexpr auto token = decodes<TokenResponse>;
constexpr auto account = decodes<Account>;
constexpr auto devices = decodes<QList<Device>>;
constexpr auto servers = decodes<QList<ServerLocation>>;
constexpr auto config = decodes<WireGuardConfig>;

const std::string kDevice = R"({"id":1,"name":"n","platform":"linux","protocol":"wireguard"})";

TEST(Decoding, RecordsSucceedOrFailAsAWhole) {
    const struct {
        const char* name;
        bool (*decode)(const std::string&);
        std::string text;
        bool valid;
    } cases[] = {
        {"tokenUnknownKeysIgnored", token, R"({"token":"t","id":1,"name":"n","x":[1,{}]})", true},
        {"tokenWithoutName", token, R"({"token":"t","id":1})", false},
        {"tokenNullName", token, R"({"token":"t","id":1,"name":null})", false},
        {"tokenKeyCase", token, R"({"Token":"t","id":1,"name":"n"})", false},
        {"idAsString", token, R"({"token":"t","id":"1","name":"n"})", false},
        {"idWrittenAsReal", token, R"({"token":"t","id":1.0,"name":"n"})", false},
        {"idWithExponent", token, R"({"token":"t","id":1e2,"name":"n"})", false},
        {"idAboveInt64", token, R"({"token":"t","id":9223372036854775808,"name":"n"})", false},
        {"idBelowInt64", token, R"({"token":"t","id":-9223372036854775809,"name":"n"})", false},
        {"accountOnlyEmail", account, R"({"email":"a"})", true},
        {"accountNullParts", account, R"({"email":"a","subscription":null,"usage":null})", true},
        {"accountWithoutEmail", account, R"({"subscription":{"plan":"p","status":"s"}})", false},
        {"subscriptionWithoutStatus", account, R"({"email":"a","subscription":{"plan":"p"}})", false},
        {"subscriptionAsString", account, R"({"email":"a","subscription":"free"})", false},
        {"usageAllNull", account,
         R"({"email":"a","usage":{"period":null,"bytes_used":null,"bytes_used_lifetime":null,)"
         R"("plan_is_free":null,"unlimited_data":null,"speed_mbps":null}})",
         true},
        {"bytesAsString", account, R"({"email":"a","usage":{"bytes_used":"1024"}})", false},
        {"booleanAsOne", account, R"({"email":"a","usage":{"plan_is_free":1}})", false},
        {"periodAsNumber", account, R"({"email":"a","usage":{"period":202406}})", false},
        {"devicesEmpty", devices, "[]", true},
        {"oneDeviceWithoutProtocol", devices, "[" + kDevice + R"(,{"id":2,"name":"n","platform":"linux"}])",
         false},
        {"devicesNullElement", devices, "[" + kDevice + ",null]", false},
        {"devicesObjectNotList", devices, kDevice, false},
        {"oneServerWithoutCountry", servers,
         R"([{"hostname":"h","location":"l","country_code":"DE","status":"s","load":"low"},)"
         R"({"hostname":"h","location":"l","status":"s","load":"low"}])",
         false},
        {"numericLoad", servers,
         R"([{"hostname":"h","location":"l","country_code":"DE","status":"s","load":3}])", false},
        {"configEmptyText", config, R"({"config":""})", true},
        {"configMissing", config, "{}", false},
        {"errorObject", envelope, R"({"error":{"message":"Nope."}})", false},
        {"badDataBesideErrorString", envelope, R"({"error":"Nope.","data":{"email":5}})", false},
        // The grammar
        {"nested", ignored, R"({"a": [1, -0, -2.5e+3, true, false, null, "s", {}]})", true},
        {"hugeInteger", ignored, "123456789012345678901234567890", true},
        {"utf8", ignored, "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", true},
        {"deepButAllowed", ignored, std::string(500, '[') + std::string(500, ']'), true},
        {"tooDeep", ignored, std::string(100000, '[') + std::string(100000, ']'), false},
        {"leadingZero", ignored, "01", false},
        {"emptyExponent", ignored, "1e", false},
        {"truncatedLiteral", ignored, "tru", false},
        {"trailingComma", ignored, "[1,]", false},
        {"unquotedKey", ignored, "{a:1}", false},
        {"unclosedArray", ignored, "[1, 2", false},
        {"unknownEscape", ignored, R"("\x41")", false},
        {"shortUnicodeEscape", ignored, R"("\u12")", false},
        {"loneHighSurrogate", ignored, R"("\ud83dx")", false},
        {"highSurrogateThenLetter", ignored, R"("\ud800\u0041")", false},
        {"loneLowSurrogate", ignored, R"("\ude00")", false},
        {"rawControlCharacter", ignored, "\"a\tb\"", false},
        {"utf8Overlong", ignored, "\"\xE0\x80\xAF\"", false},
        {"utf8Surrogate", ignored, "\"\xED\xA0\x80\"", false},
        {"utf8BeyondUnicode", ignored, "\"\xF4\x90\x80\x80\"", false},
        {"utf8Truncated", ignored, "\"\xE2\x82\"", false},
        {"bareTopLevel", envelope, "[]", false},
        {"byteOrderMark", envelope, "\xEF\xBB\xBF {} \r\n", true},
        {"trailingText", envelope, "{} {}", false}};
    for (const auto& [name, decode, text, valid] : cases) {
        EXPECT_EQ(decode(text), valid) << name;
    }
}

// The listings' fields reach the screens, whose tests read them; here the extremes and the escapes.
TEST(Decoding, ValuesArriveExactly) {
    const auto withAccount = ApiEnvelope<Account>::decode(
        R"({"data":{"email":"a@b","subscription":{"plan":"plus","status":"active"},"usage":{"period":"6",)"
        R"("bytes_used":9007199254740993,"bytes_used_lifetime":9223372036854775807,)"
        R"("speed_mbps":-9223372036854775808,"plan_is_free":false,"unlimited_data":true}}})");
    ASSERT_TRUE(withAccount && withAccount->data && withAccount->data->subscription &&
                withAccount->data->usage);
    const Account& account = *withAccount->data;
    const Usage& usage = *account.usage;
    EXPECT_EQ(std::tuple(account.email, account.subscription->plan, account.subscription->status),
              std::tuple(QStringLiteral("a@b"), QStringLiteral("plus"), QStringLiteral("active")));
    EXPECT_EQ(std::tuple(usage.period, usage.bytesUsed, usage.bytesUsedLifetime, usage.speedMbps,
                         usage.planIsFree, usage.unlimitedData),
              std::tuple(std::optional(QStringLiteral("6")), std::optional(9007199254740993LL),
                         std::optional(std::numeric_limits<qint64>::max()),
                         std::optional(std::numeric_limits<qint64>::min()), std::optional(false),
                         std::optional(true)));

    // Escapes are decoded, also in keys.
    const auto token = ApiEnvelope<TokenResponse>::decode(
        R"({"data":{"name":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00","id":-0,"t\u006fken":"a\u0000b"}})");
    ASSERT_TRUE(token && token->data);
    EXPECT_EQ(std::tuple(token->data->token.toStdString(), token->data->id, token->data->name.toStdString()),
              std::tuple(std::string("a\0b", 3), 0, std::string("\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80")));
}

} // namespace
} // namespace korvel::api
