#include "Account.h"

namespace korvel::api {

Account Account::read(JsonReader& json) {
    std::optional<QString> email;
    std::optional<Subscription> subscription;
    std::optional<Usage> usage;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("email")) {
            email = json.readOptionalString();
        } else if (key == QStringLiteral("subscription")) {
            subscription = json.skipNull() ? std::nullopt : std::optional(Subscription::read(json));
        } else if (key == QStringLiteral("usage")) {
            usage = json.skipNull() ? std::nullopt : std::optional(Usage::read(json));
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(email), std::move(subscription), std::move(usage)};
}

} // namespace korvel::api
