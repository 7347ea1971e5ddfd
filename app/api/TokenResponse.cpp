#include "TokenResponse.h"

namespace korvel::api {

TokenResponse TokenResponse::read(JsonReader& json) {
    std::optional<QString> token;
    std::optional<qint64> id;
    std::optional<QString> name;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("token")) {
            token = json.readOptionalString();
        } else if (key == QStringLiteral("id")) {
            id = json.readOptionalInteger();
        } else if (key == QStringLiteral("name")) {
            name = json.readOptionalString();
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(token), JsonReader::required(id), JsonReader::required(name)};
}

} // namespace korvel::api
