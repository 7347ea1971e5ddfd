#pragma once

#include "JsonReader.h"

#include <QString>

namespace korvel::api {

// One VPN server location, identified by its host name. Texts are equal when their NFC forms are, so a
// precomposed letter and its decomposed spelling name the same place.
struct ServerLocation {
    QString hostname;
    QString location;
    QString countryCode;
    QString status;
    QString load;

    const QString& id() const { return hostname; }

    static ServerLocation read(JsonReader& json);

    friend bool operator==(const ServerLocation& a, const ServerLocation& b);
};

size_t qHash(const ServerLocation& location, size_t seed = 0);

} // namespace korvel::api
