#include "Subscription.h"

namespace korvel::api {

Subscription Subscription::read(JsonReader& json) {
    std::optional<QString> plan;
    std::optional<QString> status;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("plan")) {
            plan = json.readOptionalString();
        } else if (key == QStringLiteral("status")) {
            status = json.readOptionalString();
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(plan), JsonReader::required(status)};
}

} // namespace korvel::api
