#include "Account.h"
#include "ApiEnvelope.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"
#include "WireGuardConfig.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace korvel::api {
namespace {

template <class T>
bool decodes(const std::string& data) {
    return ApiEnvelope<T>::decode(QByteArray::fromStdString(R"({"data": )" + data + "}")).has_value();
}

struct RecordCase {
    const char* name;
    bool (*decode)(const std::string&);
    std::string data;
    bool valid;
};

class RecordRules : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordRules, DecodeOrFailAsAWhole) { EXPECT_EQ(GetParam().decode(GetParam().data), GetParam().valid); }

constexpr auto token = decodes<TokenResponse>;
constexpr auto account = decodes<Account>;
constexpr auto devices = decodes<QList<Device>>;
constexpr auto servers = decodes<QList<ServerLocation>>;
constexpr auto config = decodes<WireGuardConfig>;

const std::string kServer =
    R"({"hostname":"h","location":"l","country_code":"DE","status":"online","load":"low"})";
const std::string kDevice = R"({"id":1,"name":"n","platform":"linux","protocol":"wireguard"})";

INSTANTIATE_TEST_SUITE_P(
    Records, RecordRules,
    testing::Values(
        RecordCase{"tokenComplete", token, R"({"token":"t","id":1,"name":"n"})", true},
        RecordCase{"tokenExtraKeysIgnored", token, R"({"token":"t","id":1,"name":"n","expires":[1,{}]})",
                   true},
        RecordCase{"tokenWithoutName", token, R"({"token":"t","id":1})", false},
        RecordCase{"tokenNullName", token, R"({"token":"t","id":1,"name":null})", false},
        RecordCase{"tokenKeyCaseMatters", token, R"({"Token":"t","id":1,"name":"n"})", false},
        RecordCase{"tokenIdAsString", token, R"({"token":"t","id":"1","name":"n"})", false},
        RecordCase{"tokenIdAsFraction", token, R"({"token":"t","id":1.5,"name":"n"})", false},
        RecordCase{"tokenIdWrittenAsReal", token, R"({"token":"t","id":1.0,"name":"n"})", false},
        RecordCase{"tokenIdWithExponent", token, R"({"token":"t","id":1e2,"name":"n"})", false},
        RecordCase{"tokenIdBeyondInt64", token, R"({"token":"t","id":9223372036854775808,"name":"n"})",
                   false},
        RecordCase{"tokenIdBelowInt64", token, R"({"token":"t","id":-9223372036854775809,"name":"n"})",
                   false},
        RecordCase{"tokenAsNumber", token, R"({"token":5,"id":1,"name":"n"})", false},
        RecordCase{"tokenNotAnObject", token, R"(["t",1,"n"])", false},
        RecordCase{"tokenLaterNullWins", token, R"({"token":"t","id":1,"name":"n","name":null})", false},
        RecordCase{"accountOnlyEmail", account, R"({"email":"a@b"})", true},
        RecordCase{"accountNullParts", account, R"({"email":"a@b","subscription":null,"usage":null})", true},
        RecordCase{"accountWithoutEmail", account, R"({"subscription":{"plan":"p","status":"s"}})", false},
        RecordCase{"accountSubscriptionWithoutStatus", account,
                   R"({"email":"a","subscription":{"plan":"p"}})", false},
        RecordCase{"accountSubscriptionAsString", account, R"({"email":"a","subscription":"free"})", false},
        RecordCase{"accountUsageAsArray", account, R"({"email":"a","usage":[]})", false},
        RecordCase{"usageBytesAsString", account, R"({"email":"a","usage":{"bytes_used":"1024"}})", false},
        RecordCase{"usageBytesAsReal", account, R"({"email":"a","usage":{"bytes_used":1024.5}})", false},
        RecordCase{"usageBooleanAsOne", account, R"({"email":"a","usage":{"plan_is_free":1}})", false},
        RecordCase{"usageBooleanAsString", account, R"({"email":"a","usage":{"unlimited_data":"true"}})",
                   false},
        RecordCase{"usageSpeedAsBoolean", account, R"({"email":"a","usage":{"speed_mbps":true}})", false},
        RecordCase{"usagePeriodAsNumber", account, R"({"email":"a","usage":{"period":202406}})", false},
        RecordCase{"usageAllNull", account,
                   R"({"email":"a","usage":{"period":null,"bytes_used":null,"bytes_used_lifetime":null,)"
                   R"("plan_is_free":null,"unlimited_data":null,"speed_mbps":null}})",
                   true},
        RecordCase{"devicesEmpty", devices, "[]", true},
        RecordCase{"devicesTwo", devices, "[" + kDevice + "," + kDevice + "]", true},
        RecordCase{"devicesOneWithoutProtocol", devices,
                   "[" + kDevice + R"(,{"id":2,"name":"n","platform":"linux"}])", false},
        RecordCase{"devicesObjectNotList", devices, kDevice, false},
        RecordCase{"devicesNullElement", devices, "[" + kDevice + ",null]", false},
        RecordCase{"serversEmpty", servers, "[]", true},
        RecordCase{"serversOneWithoutCountry", servers,
                   "[" + kServer + R"(,{"hostname":"h","location":"l","status":"online","load":"low"}])",
                   false},
        RecordCase{"serversNumericLoad", servers,
                   R"([{"hostname":"h","location":"l","country_code":"DE","status":"online","load":3}])",
                   false},
        RecordCase{"serversBooleanStatus", servers,
                   R"([{"hostname":"h","location":"l","country_code":"DE","status":true,"load":"low"}])",
                   false},
        RecordCase{"configEmptyText", config, R"({"config":""})", true},
        RecordCase{"configMissing", config, R"({})", false},
        RecordCase{"configAsObject", config, R"({"config":{"text":"x"}})", false}),
    [](const testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST(Envelope, DataAndErrorArePlainOptionalMembers) {
    const auto bothNull = ApiEnvelope<Account>::decode(R"({"data":null,"error":null})");
    ASSERT_TRUE(bothNull.has_value());
    EXPECT_FALSE(bothNull->data.has_value());
    EXPECT_FALSE(bothNull->error.has_value());

    const auto withError = ApiEnvelope<Account>::decode(R"({"error":"Nope.","meta":{"x":[1]}})");
    ASSERT_TRUE(withError.has_value());
    EXPECT_EQ(withError->error, QStringLiteral("Nope."));
    EXPECT_FALSE(withError->data.has_value());
}

TEST(Envelope, AnErrorThatIsNotAStringFailsTheWholeResponse) {
    EXPECT_FALSE(ApiEnvelope<Account>::decode(R"({"error":{"message":"Nope."}})"));
    EXPECT_FALSE(ApiEnvelope<Account>::decode(R"({"error":404})"));
    EXPECT_FALSE(ApiEnvelope<Account>::decode(R"({"error":["Nope."]})"));
}

TEST(Envelope, ABadResultFailsEvenBesideAnErrorString) {
    EXPECT_FALSE(ApiEnvelope<Account>::decode(R"({"error":"Nope.","data":{"email":5}})"));
    EXPECT_FALSE(ApiEnvelope<QList<Device>>::decode(R"({"error":"Nope.","data":{}})"));
}

TEST(Records, IntegersStayExactBeyondDoublePrecision) {
    const auto envelope = ApiEnvelope<Account>::decode(
        R"({"data":{"email":"a","usage":{"bytes_used":9007199254740993,)"
        R"("bytes_used_lifetime":9223372036854775807,"speed_mbps":-9223372036854775808}}})");
    ASSERT_TRUE(envelope && envelope->data && envelope->data->usage);
    const Usage& usage = *envelope->data->usage;
    EXPECT_EQ(usage.bytesUsed, 9007199254740993LL);
    EXPECT_EQ(usage.bytesUsedLifetime, std::numeric_limits<qint64>::max());
    EXPECT_EQ(usage.speedMbps, std::numeric_limits<qint64>::min());
}

TEST(Records, AccountFieldsDecodeToTheirValues) {
    const auto envelope = ApiEnvelope<Account>::decode(
        R"({"data":{"email":"a@b","subscription":{"plan":"plus","status":"active"},)"
        R"("usage":{"period":"2024-06","plan_is_free":false,"unlimited_data":true,"speed_mbps":-0}}})");
    ASSERT_TRUE(envelope && envelope->data);
    const Account& account = *envelope->data;
    EXPECT_EQ(account.email, QStringLiteral("a@b"));
    ASSERT_TRUE(account.subscription && account.usage);
    EXPECT_EQ(account.subscription->plan, QStringLiteral("plus"));
    EXPECT_EQ(account.subscription->status, QStringLiteral("active"));
    EXPECT_EQ(account.usage->period, QStringLiteral("2024-06"));
    EXPECT_FALSE(account.usage->bytesUsed.has_value());
    EXPECT_EQ(account.usage->planIsFree, false);
    EXPECT_EQ(account.usage->unlimitedData, true);
    EXPECT_EQ(account.usage->speedMbps, 0);
}

TEST(Records, EmptyUsageHasNoValues) {
    const auto envelope = ApiEnvelope<Account>::decode(R"({"data":{"email":"a","usage":{}}})");
    ASSERT_TRUE(envelope && envelope->data && envelope->data->usage);
    const Usage& usage = *envelope->data->usage;
    EXPECT_FALSE(usage.period || usage.bytesUsed || usage.bytesUsedLifetime || usage.planIsFree ||
                 usage.unlimitedData || usage.speedMbps);
    EXPECT_FALSE(envelope->data->subscription.has_value());
}

TEST(Records, ListsKeepServerOrderAndEveryField) {
    const auto envelope = ApiEnvelope<QList<Device>>::decode(
        R"j({"data":[{"id":7,"name":"Linux (a)","platform":"linux","protocol":"wireguard"},)j"
        R"({"protocol":"p","platform":"q","name":"b","id":-3}]})");
    ASSERT_TRUE(envelope && envelope->data);
    ASSERT_EQ(envelope->data->size(), 2);
    const Device& first = envelope->data->at(0);
    EXPECT_EQ(first.id, 7);
    EXPECT_EQ(first.name, QStringLiteral("Linux (a)"));
    EXPECT_EQ(first.platform, QStringLiteral("linux"));
    EXPECT_EQ(first.protocol, QStringLiteral("wireguard"));
    EXPECT_EQ(envelope->data->at(1).id, -3);
    EXPECT_EQ(envelope->data->at(1).name, QStringLiteral("b"));

    const auto locations = ApiEnvelope<QList<ServerLocation>>::decode(
        R"({"data":[{"hostname":"de.x","location":"Frankfurt","country_code":"DE","status":"online","load":"med"}]})");
    ASSERT_TRUE(locations && locations->data && locations->data->size() == 1);
    const ServerLocation& location = locations->data->front();
    EXPECT_EQ(location.id(), QStringLiteral("de.x"));
    EXPECT_EQ(location.location, QStringLiteral("Frankfurt"));
    EXPECT_EQ(location.countryCode, QStringLiteral("DE"));
    EXPECT_EQ(location.status, QStringLiteral("online"));
    EXPECT_EQ(location.load, QStringLiteral("med"));
}

TEST(Records, TokenResponseKeepsItsValues) {
    const auto envelope = ApiEnvelope<TokenResponse>::decode(
        R"j({"data":{"name":"Linux (a)","id":9007199254740993,"token":"abc"}})j");
    ASSERT_TRUE(envelope && envelope->data);
    EXPECT_EQ(envelope->data->token, QStringLiteral("abc"));
    EXPECT_EQ(envelope->data->id, 9007199254740993LL);
    EXPECT_EQ(envelope->data->name, QStringLiteral("Linux (a)"));
}

} // namespace
} // namespace korvel::api
