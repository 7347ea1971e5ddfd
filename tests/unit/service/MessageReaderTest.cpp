#include "MessageReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace korvel::service;

namespace {

std::string describe(const ParsedRequest& parsed) {
    if (const auto* request = std::get_if<Request>(&parsed)) {
        return (request->method == Method::connect ? "connect " : "disconnect ") + request->config;
    }
    const auto& error = std::get<WireError>(parsed);
    return error.name + (error.parameter.empty() ? "" : " " + error.parameter + "=" + error.value);
}

const std::string kInvalid = "korvel.tunneld.InvalidRequest";
const std::string kDisconnect = R"({"method":"korvel.tunneld.Disconnect"})";

TEST(MessageReader, ParsesRequestsAndNamesWhatIsWrongWithTheRest) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[Interface]\n"}})",
         "connect [Interface]\n"},
        {R"( {"parameters":{"config":"a\u0000b"},"method":"korvel.tunneld.Connect"} )",
         std::string("connect a\0b", 11)},
        {kDisconnect, "disconnect "},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":{}})", "disconnect "},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":{"config":"x"}})",
         "org.varlink.service.InvalidParameter parameter=config"},
        {R"({"method":"korvel.tunneld.Connect"})", "org.varlink.service.InvalidParameter parameter=config"},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":null}})",
         "org.varlink.service.InvalidParameter parameter=config"},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"x","up":true}})",
         "org.varlink.service.InvalidParameter parameter=up"},
        {R"({"method":"korvel.tunneld.connect"})",
         "org.varlink.service.MethodNotFound method=korvel.tunneld.connect"},
        {R"({"method":"korvel.tunneld.Disconnect","oneway":true})", kInvalid},
        {R"({"method":"korvel.tunneld.Disconnect","parameters":[]})", kInvalid},
        {R"({"method":7})", kInvalid},
        {R"(["korvel.tunneld.Disconnect"])", kInvalid},
        {kDisconnect + " {}", kInvalid},
        {kDisconnect.substr(0, 20), kInvalid},
        {"{\"method\":\"korvel.tunneld.Connect\",\"parameters\":{\"config\":\"\xff\"}}", kInvalid},
        {"", kInvalid},
        {std::string(100000, '[') + std::string(100000, ']'), kInvalid},
        {R"({"method":"korvel.tunneld.Connect","parameters":{"config":"[[[[[[[[[[[["}})",
         "connect [[[[[[[[[[[["},
    };
    for (const auto& [message, expected] : cases) {
        // Arriving one byte at a time changes nothing.
        MessageReader reader(1 << 20);
        bool done = false;
        for (const char byte : message + '\0') {
            ASSERT_FALSE(done) << message.substr(0, 80);
            done = reader.append(std::string_view(&byte, 1));
        }
        ASSERT_TRUE(done);
        EXPECT_EQ(describe(*reader.result()), expected) << message.substr(0, 80);
    }
}

} // namespace
