#include "TunnelWireFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

using namespace korvel::tunnel;

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

const QString kInvalid = QStringLiteral("The VPN tunnel service returned an invalid connection.");

QJsonObject requestObject(const QByteArray& request) {
    EXPECT_TRUE(request.endsWith('\0'));
    EXPECT_EQ(request.count('\0'), 1) << "a request is one message";
    return QJsonDocument::fromJson(request.chopped(1)).object();
}

TEST(TunnelWireFormatTest, RequestsNameTheMethodAndCarryTheTextUnchanged) {
    const QString config = QStringLiteral("[Interface]\nPrivateKey = a\"b\\c\u0001\n# Zürich 東京\n");
    EXPECT_EQ(
        requestObject(connectRequest(config)),
        (QJsonObject{{"method", "korvel.tunneld.Connect"}, {"parameters", QJsonObject{{"config", config}}}}));
    EXPECT_EQ(requestObject(disconnectRequest()), (QJsonObject{{"method", "korvel.tunneld.Disconnect"}}));
    // The daemon refuses parameters it does not know, even an empty set.
    EXPECT_EQ(disconnectRequest(), QByteArray(R"({"method":"korvel.tunneld.Disconnect"})") + '\0');
}

struct ReplyCase {
    const char* reply;
    std::optional<QString> failure;
};

TEST(TunnelWireFormatTest, RepliesGiveSuccessTheMessageOrAFailureOfTheLink) {
    const std::vector<ReplyCase> cases = {
        {R"({"parameters":{}})", std::nullopt},
        {R"({"parameters":{"message":""}})", std::nullopt},
        {R"({"parameters":{"message":null}})", std::nullopt},
        {R"( {"parameters" : {"message":"The VPN configuration is invalid."}} )",
         QStringLiteral("The VPN configuration is invalid.")},
        {R"({"parameters":{"message":"  two\r\nlines \u00e9\u0000 "}})",
         QString::fromUtf8("  two\r\nlines \u00e9") + QChar(0) + QStringLiteral(" ")},
        {R"({"parameters":{"message":"Key is bad.","more":1},"continues":false})",
         QStringLiteral("Key is bad.")},
        {R"({"error":"org.varlink.service.InvalidParameter","parameters":{"parameter":"config"}})",
         QStringLiteral("The VPN tunnel service is unavailable: the service did not accept the request "
                        "(org.varlink.service.InvalidParameter).")},
        {R"({"error":"org.varlink.service.MethodNotFound"})",
         QStringLiteral("The VPN tunnel service is unavailable: the service did not accept the request "
                        "(org.varlink.service.MethodNotFound).")},
        // An error wins over parameters that look like success.
        {R"({"parameters":{},"error":"korvel.tunneld.InvalidRequest"})",
         QStringLiteral("The VPN tunnel service is unavailable: the service did not accept the request "
                        "(korvel.tunneld.InvalidRequest).")},
        {"", kInvalid},
        {"not json", kInvalid},
        {R"({"parameters":{}} trailing)", kInvalid},
        {R"([{"parameters":{}}])", kInvalid},
        {R"("ok")", kInvalid},
        {"{}", kInvalid},
        {R"({"parameters":null})", kInvalid},
        {R"({"parameters":"The VPN configuration is invalid."})", kInvalid},
        {R"({"parameters":{"message":7}})", kInvalid},
        {R"({"parameters":{"message":["text"]}})", kInvalid},
        {R"({"error":7,"parameters":{}})", kInvalid},
        {R"({"error":null,"parameters":{}})", kInvalid},
        {"{\"parameters\":{\"message\":\"bad \xff\"}}", kInvalid},
    };
    for (const ReplyCase& c : cases) {
        EXPECT_EQ(replyFailure(c.reply), c.failure) << c.reply;
    }
}

} // namespace
