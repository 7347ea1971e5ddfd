#include "MessageReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

using namespace korvel::service;

namespace {

const WireError kInvalidRequest{"korvel.tunneld.InvalidRequest", "", ""};
const WireError kTooLarge{"korvel.tunneld.RequestTooLarge", "", ""};

WireError invalidParameter(const std::string& name) {
    return {"org.varlink.service.InvalidParameter", "parameter", name};
}

struct Case {
    std::string message;
    ParsedRequest expected;
};

std::string describe(const ParsedRequest& parsed) {
    if (const auto* request = std::get_if<Request>(&parsed)) {
        return (request->method == Method::connect ? "connect " : "disconnect ") + request->config;
    }
    const auto& error = std::get<WireError>(parsed);
    return "error " + error.name + " " + error.parameter + "=" + error.value;
}

TEST(MessageReader, ParsesRequestsAndNamesWhatIsWrongWithTheRest) {
    const std::vector<Case> cases = {
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[Interface]\n"}})",
         Request{Method::connect, "[Interface]\n"}},
        {R"( {"parameters":{"config":""},"method":"korvel.tunneld.Connect"} )", Request{Method::connect, ""}},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"a\u0000b"}})",
         Request{Method::connect, std::string("a\0b", 3)}},
        {R"({"method":"korvel.tunneld.Disconnect"})", Request{Method::disconnect, ""}},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":{}})", Request{Method::disconnect, ""}},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":{"config":"x"}})", invalidParameter("config")},
        {R"({"method":"korvel.tunneld.Connect"})", invalidParameter("config")},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":7}})", invalidParameter("config")},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":null}})", invalidParameter("config")},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"x","up":true}})",
         invalidParameter("up")},
        {R"({"method":"korvel.tunneld.connect"})",
         WireError{"org.varlink.service.MethodNotFound", "method", "korvel.tunneld.connect"}},
        {R"({"method":"org.varlink.service.GetInfo"})",
         WireError{"org.varlink.service.MethodNotFound", "method", "org.varlink.service.GetInfo"}},
        {R"({"method":"korvel.tunneld.Disconnect","oneway":true})", kInvalidRequest},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":[]})", kInvalidRequest},
        {R"({"method":7})", kInvalidRequest},
        {R"({"parameters":{}})", kInvalidRequest},
        {R"(["korvel.tunneld.Disconnect"])", kInvalidRequest},
        {R"({"method":"korvel.tunneld.Disconnect"} {})", kInvalidRequest},
        {R"({"method":"korvel.tunneld.Disconnect")", kInvalidRequest},
        {"{\"method\":\"korvel.tunneld.Connect\",\"parameters\":{\"config\":\"\xff\"}}", kInvalidRequest},
        {"", kInvalidRequest},
        {std::string(100000, '[') + std::string(100000, ']'), kInvalidRequest},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[[[[[[[[[[[["}})",
         Request{Method::connect, "[[[[[[[[[[[["}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(describe(parseRequest(c.message)), describe(c.expected)) << c.message.substr(0, 80);
        // Arriving one byte at a time changes nothing.
        MessageReader reader(1 << 20);
        bool done = false;
        for (const char byte : c.message + '\0') {
            ASSERT_FALSE(done) << c.message.substr(0, 80);
            done = reader.append(std::string_view(&byte, 1));
        }
        ASSERT_TRUE(done);
        EXPECT_EQ(describe(*reader.result()), describe(c.expected));
    }
}

TEST(MessageReader, EnforcesTheSizeLimitWithoutWaitingForTheEnd) {
    const std::string atLimit =
        std::string(R"({"method":"korvel.tunneld.Disconnect"})") + std::string(24, ' ');
    MessageReader fits(atLimit.size());
    EXPECT_TRUE(fits.append(atLimit + '\0' + "ignored"));
    EXPECT_EQ(describe(*fits.result()), "disconnect ");

    MessageReader tooLong(atLimit.size());
    EXPECT_FALSE(tooLong.append(atLimit));
    EXPECT_TRUE(tooLong.append(" "));
    EXPECT_EQ(describe(*tooLong.result()), describe(kTooLarge));
}

TEST(MessageReader, AMessageCutShortIsInvalid) {
    MessageReader reader(1024);
    EXPECT_FALSE(reader.append(R"({"method":"korvel.tunneld.Disconnect"})"));
    reader.endOfInput();
    EXPECT_EQ(describe(*reader.result()), describe(kInvalidRequest));
}

TEST(WireFormat, RepliesAreJsonObjectsEndedByNul) {
    using nlohmann::json;
    const auto decode = [](const std::string& wire) {
        EXPECT_EQ(wire.back(), '\0');
        return json::parse(wire.substr(0, wire.size() - 1));
    };
    EXPECT_EQ(decode(encodeReply(std::nullopt)), json::parse(R"({"parameters":{}})"));
    const std::string message = "Bad \"key\"\r\n\t\u00e9 ";
    EXPECT_EQ(decode(encodeReply(message))["parameters"]["message"], message);
    EXPECT_EQ(decode(encodeError(invalidParameter("config"))),
              json::parse(
                  R"({"error":"org.varlink.service.InvalidParameter","parameters":{"parameter":"config"}})"));
    EXPECT_EQ(decode(encodeError(kTooLarge)),
              json::parse(R"({"error":"korvel.tunneld.RequestTooLarge","parameters":{}})"));
    EXPECT_NO_THROW(encodeReply(std::string("\xff\xfe")));
}

} // namespace
