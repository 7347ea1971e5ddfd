#include "TunnelWireFormat.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

using namespace korvel::tunnel;

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace {

TEST(TunnelWireFormatTest, RepliesGiveSuccessTheMessageOrAFailureOfTheLink) {
    const QString invalid = QStringLiteral("The VPN tunnel service returned an invalid connection.");
    const struct {
        const char* reply;
        std::optional<QString> failure;
    } cases[] = {
        {R"({"parameters":{}})", std::nullopt},
        {R"({"parameters":{"message":""}})", std::nullopt},
        {R"({"parameters":{"message":null}})", std::nullopt},
        // Shown unchanged; members nobody asked for are ignored.
        {R"({"parameters":{"message":"  two\r\nlines \u00e9\u0000 ","more":1},"continues":false})",
         QString::fromUtf8("  two\r\nlines \u00e9") + QChar(0) + QStringLiteral(" ")},
        // An error wins over parameters that look like success.
        {R"({"parameters":{},"error":"korvel.tunneld.InvalidRequest"})",
         QStringLiteral("The VPN tunnel service is unavailable: the service did not accept the request "
                        "(korvel.tunneld.InvalidRequest).")},
        {"not json", invalid},
        {R"([{"parameters":{}}])", invalid},
        {"{}", invalid},
        {R"({"parameters":"The VPN configuration is invalid."})", invalid},
        {R"({"parameters":{"message":7}})", invalid},
        {R"({"error":null,"parameters":{}})", invalid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replyFailure(c.reply), c.failure) << c.reply;
    }
}

} // namespace
