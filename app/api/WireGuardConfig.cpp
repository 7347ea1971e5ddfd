#include "WireGuardConfig.h"

namespace korvel::api {

WireGuardConfig WireGuardConfig::read(JsonReader& json) {
    std::optional<QString> config;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("config")) {
            config = json.readOptionalString();
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(config)};
}

} // namespace korvel::api
