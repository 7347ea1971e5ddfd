#include "Device.h"

namespace korvel::api {

Device Device::read(JsonReader& json) {
    std::optional<qint64> id;
    std::optional<QString> name;
    std::optional<QString> platform;
    std::optional<QString> protocol;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("id")) {
            id = json.readOptionalInteger();
        } else if (key == QStringLiteral("name")) {
            name = json.readOptionalString();
        } else if (key == QStringLiteral("platform")) {
            platform = json.readOptionalString();
        } else if (key == QStringLiteral("protocol")) {
            protocol = json.readOptionalString();
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(id), JsonReader::required(name), JsonReader::required(platform),
            JsonReader::required(protocol)};
}

} // namespace korvel::api
