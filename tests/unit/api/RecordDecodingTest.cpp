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

struct DecodeCase {
    const char* name;
    bool (*decode)(const std::string&);
    std::string text;
    bool valid;
};

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, SucceedsOrFailsAsAWhole) { EXPECT_EQ(GetParam().decode(GetParam().text), GetParam().valid); }

constexpr auto token = decodes<TokenResponse>;
constexpr auto account = decodes<Account>;
constexpr auto devices = decodes<QList<Device>>;
constexpr auto servers = decodes<QList<ServerLocation>>;
constexpr auto config = decodes<WireGuardConfig>;

const std::string kDevice = R"({"id":1,"name":"n","platform":"linux","protocol":"wireguard"})";

INSTANTIATE_TEST_SUITE_P(
    Records, Decoding,
    testing::Values(
        DecodeCase{"tokenUnknownKeysIgnored", token, R"({"token":"t","id":1,"name":"n","x":[1,{}]})", true},
        DecodeCase{"tokenWithoutName", token, R"({"token":"t","id":1})", false},
        DecodeCase{"tokenNullName", token, R"({"token":"t","id":1,"name":null})", false},
        DecodeCase{"tokenKeyCase", token, R"({"Token":"t","id":1,"name":"n"})", false},
        DecodeCase{"idAsString", token, R"({"token":"t","id":"1","name":"n"})", false},
        DecodeCase{"idWrittenAsReal", token, R"({"token":"t","id":1.0,"name":"n"})", false},
        DecodeCase{"idWithExponent", token, R"({"token":"t","id":1e2,"name":"n"})", false},
        DecodeCase{"idAboveInt64", token, R"({"token":"t","id":9223372036854775808,"name":"n"})", false},
        DecodeCase{"idBelowInt64", token, R"({"token":"t","id":-9223372036854775809,"name":"n"})", false},
        DecodeCase{"accountOnlyEmail", account, R"({"email":"a"})", true},
        DecodeCase{"accountNullParts", account, R"({"email":"a","subscription":null,"usage":null})", true},
        DecodeCase{"accountWithoutEmail", account, R"({"subscription":{"plan":"p","status":"s"}})", false},
        DecodeCase{"subscriptionWithoutStatus", account, R"({"email":"a","subscription":{"plan":"p"}})",
                   false},
        DecodeCase{"subscriptionAsString", account, R"({"email":"a","subscription":"free"})", false},
        DecodeCase{"usageAllNull", account,
                   R"({"email":"a","usage":{"period":null,"bytes_used":null,"bytes_used_lifetime":null,)"
                   R"("plan_is_free":null,"unlimited_data":null,"speed_mbps":null}})",
                   true},
        DecodeCase{"bytesAsString", account, R"({"email":"a","usage":{"bytes_used":"1024"}})", false},
        DecodeCase{"booleanAsOne", account, R"({"email":"a","usage":{"plan_is_free":1}})", false},
        DecodeCase{"periodAsNumber", account, R"({"email":"a","usage":{"period":202406}})", false},
        DecodeCase{"devicesEmpty", devices, "[]", true},
        DecodeCase{"oneDeviceWithoutProtocol", devices,
                   "[" + kDevice + R"(,{"id":2,"name":"n","platform":"linux"}])", false},
        DecodeCase{"devicesNullElement", devices, "[" + kDevice + ",null]", false},
        DecodeCase{"devicesObjectNotList", devices, kDevice, false},
        DecodeCase{"oneServerWithoutCountry", servers,
                   R"([{"hostname":"h","location":"l","country_code":"DE","status":"s","load":"low"},)"
                   R"({"hostname":"h","location":"l","status":"s","load":"low"}])",
                   false},
        DecodeCase{"numericLoad", servers,
                   R"([{"hostname":"h","location":"l","country_code":"DE","status":"s","load":3}])", false},
        DecodeCase{"configEmptyText", config, R"({"config":""})", true},
        DecodeCase{"configMissing", config, "{}", false},
        DecodeCase{"errorObject", envelope, R"({"error":{"message":"Nope."}})", false},
        DecodeCase{"badDataBesideErrorString", envelope, R"({"error":"Nope.","data":{"email":5}})", false}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Grammar, Decoding,
    testing::Values(
        DecodeCase{"nested", ignored, R"({"a": [1, -0, -2.5e+3, true, false, null, "s", {}]})", true},
        DecodeCase{"hugeInteger", ignored, "123456789012345678901234567890", true},
        DecodeCase{"utf8", ignored, "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", true},
        DecodeCase{"deepButAllowed", ignored, std::string(500, '[') + std::string(500, ']'), true},
        DecodeCase{"tooDeep", ignored, std::string(100000, '[') + std::string(100000, ']'), false},
        DecodeCase{"leadingZero", ignored, "01", false}, DecodeCase{"emptyExponent", ignored, "1e", false},
        DecodeCase{"truncatedLiteral", ignored, "tru", false},
        DecodeCase{"trailingComma", ignored, "[1,]", false},
        DecodeCase{"unquotedKey", ignored, "{a:1}", false},
        DecodeCase{"unclosedArray", ignored, "[1, 2", false},
        DecodeCase{"unknownEscape", ignored, R"("\x41")", false},
        DecodeCase{"shortUnicodeEscape", ignored, R"("\u12")", false},
        DecodeCase{"loneHighSurrogate", ignored, R"("\ud83dx")", false},
        DecodeCase{"highSurrogateThenLetter", ignored, R"("\ud800\u0041")", false},
        DecodeCase{"loneLowSurrogate", ignored, R"("\ude00")", false},
        DecodeCase{"rawControlCharacter", ignored, "\"a\tb\"", false},
        DecodeCase{"utf8Overlong", ignored, "\"\xE0\x80\xAF\"", false},
        DecodeCase{"utf8Surrogate", ignored, "\"\xED\xA0\x80\"", false},
        DecodeCase{"utf8BeyondUnicode", ignored, "\"\xF4\x90\x80\x80\"", false},
        DecodeCase{"utf8Truncated", ignored, "\"\xE2\x82\"", false},
        DecodeCase{"bareTopLevel", envelope, "[]", false},
        DecodeCase{"byteOrderMark", envelope, "\xEF\xBB\xBF {} \r\n", true},
        DecodeCase{"trailingText", envelope, "{} {}", false}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(Decoding, ValuesArriveExactly) {
    const auto bothNull = ApiEnvelope<Account>::decode(R"({"data":null,"error":null})");
    ASSERT_TRUE(bothNull);
    EXPECT_FALSE(bothNull->data || bothNull->error);

    const auto withAccount = ApiEnvelope<Account>::decode(
        R"({"data":{"email":"a@b","subscription":{"plan":"plus","status":"active"},"usage":{"period":"6",)"
        R"("bytes_used":9007199254740993,"bytes_used_lifetime":9223372036854775807,)"
        R"("speed_mbps":-9223372036854775808,"plan_is_free":false,"unlimited_data":true}}})");
    ASSERT_TRUE(withAccount && withAccount->data && withAccount->data->subscription &&
                withAccount->data->usage);
    const Account& account = *withAccount->data;
    EXPECT_EQ(account.email, QStringLiteral("a@b"));
    EXPECT_EQ(account.subscription->plan, QStringLiteral("plus"));
    EXPECT_EQ(account.subscription->status, QStringLiteral("active"));
    EXPECT_EQ(account.usage->period, QStringLiteral("6"));
    EXPECT_EQ(account.usage->bytesUsed, 9007199254740993LL);
    EXPECT_EQ(account.usage->bytesUsedLifetime, std::numeric_limits<qint64>::max());
    EXPECT_EQ(account.usage->speedMbps, std::numeric_limits<qint64>::min());
    EXPECT_EQ(account.usage->planIsFree, false);
    EXPECT_EQ(account.usage->unlimitedData, true);

    const auto emptyUsage = ApiEnvelope<Account>::decode(R"({"data":{"email":"a","usage":{}}})");
    ASSERT_TRUE(emptyUsage && emptyUsage->data && emptyUsage->data->usage);
    const Usage& usage = *emptyUsage->data->usage;
    EXPECT_FALSE(usage.period || usage.bytesUsed || usage.bytesUsedLifetime || usage.planIsFree ||
                 usage.unlimitedData || usage.speedMbps);

    const auto list =
        ApiEnvelope<QList<Device>>::decode(R"({"data":[{"id":7,"name":"n","platform":"p","protocol":"w"},)"
                                           R"({"protocol":"w","platform":"p","name":"m","id":-3}]})");
    ASSERT_TRUE(list && list->data && list->data->size() == 2);
    const Device& device = list->data->front();
    EXPECT_EQ(std::tuple(device.id, device.name, device.platform, device.protocol),
              std::tuple(7, QStringLiteral("n"), QStringLiteral("p"), QStringLiteral("w")));
    EXPECT_EQ(list->data->back().id, -3);

    const auto servers = ApiEnvelope<QList<ServerLocation>>::decode(
        R"({"data":[{"load":"e","status":"d","country_code":"c","location":"b","hostname":"a"}]})");
    ASSERT_TRUE(servers && servers->data && servers->data->size() == 1);
    const ServerLocation& server = servers->data->front();
    EXPECT_EQ(std::tuple(server.hostname, server.location, server.countryCode, server.status, server.load),
              std::tuple(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                         QStringLiteral("e")));

    // Escapes are decoded, also in keys.
    const auto token = ApiEnvelope<TokenResponse>::decode(
        R"({"data":{"name":"\"\\\/\b\f\n\r\t\u00e9\ud83d\ude00","id":-0,"t\u006fken":"a\u0000b"}})");
    ASSERT_TRUE(token && token->data);
    EXPECT_EQ(std::tuple(token->data->token, token->data->id, token->data->name),
              std::tuple(QString::fromUtf8("a\0b", 3), 0,
                         QString::fromUtf8("\"\\/\b\f\n\r\t\xC3\xA9\xF0\x9F\x98\x80")));
}

} // namespace
} // namespace korvel::api
