#include "ServerLocation.h"

#include <QHashFunctions>

namespace korvel::api {
namespace {

QString canonical(const QString& text) { return text.normalized(QString::NormalizationForm_C); }

bool sameText(const QString& a, const QString& b) { return a == b || canonical(a) == canonical(b); }

} // namespace

ServerLocation ServerLocation::read(JsonReader& json) {
    std::optional<QString> hostname;
    std::optional<QString> location;
    std::optional<QString> countryCode;
    std::optional<QString> status;
    std::optional<QString> load;
    json.readObject([&](const QString& key) {
        if (key == QStringLiteral("hostname")) {
            hostname = json.readOptionalString();
        } else if (key == QStringLiteral("location")) {
            location = json.readOptionalString();
        } else if (key == QStringLiteral("country_code")) {
            countryCode = json.readOptionalString();
        } else if (key == QStringLiteral("status")) {
            status = json.readOptionalString();
        } else if (key == QStringLiteral("load")) {
            load = json.readOptionalString();
        } else {
            json.skipValue();
        }
    });
    return {JsonReader::required(hostname), JsonReader::required(location), JsonReader::required(countryCode),
            JsonReader::required(status), JsonReader::required(load)};
}

bool operator==(const ServerLocation& a, const ServerLocation& b) {
    return sameText(a.hostname, b.hostname) && sameText(a.location, b.location) &&
           sameText(a.countryCode, b.countryCode) && sameText(a.status, b.status) && sameText(a.load, b.load);
}

size_t qHash(const ServerLocation& location, size_t seed) {
    return qHashMulti(seed, canonical(location.hostname), canonical(location.location),
                      canonical(location.countryCode), canonical(location.status), canonical(location.load));
}

} // namespace korvel::api
