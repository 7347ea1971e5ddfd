#include "Usage.h"

namespace korvel::api {

Usage Usage::read(JsonReader& json) {
    Usage usage;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("period")) {
            usage.period = json.readOptionalString();
        } else if (key == QStringLiteral("bytes_used")) {
            usage.bytesUsed = json.readOptionalInteger();
        } else if (key == QStringLiteral("bytes_used_lifetime")) {
            usage.bytesUsedLifetime = json.readOptionalInteger();
        } else if (key == QStringLiteral("plan_is_free")) {
            usage.planIsFree = json.readOptionalBoolean();
        } else if (key == QStringLiteral("unlimited_data")) {
            usage.unlimitedData = json.readOptionalBoolean();
        } else if (key == QStringLiteral("speed_mbps")) {
            usage.speedMbps = json.readOptionalInteger();
        } else {
            json.skipValue();
        }
    });
    return usage;
}

} // namespace korvel::api
