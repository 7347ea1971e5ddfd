#pragma once

#include "JsonReader.h"

#include <QString>

namespace korvel::api {

// Result of sign-in.
struct TokenResponse {
    QString token;
    qint64 id = 0;
    QString name;

    static TokenResponse read(JsonReader& json);
};

} // namespace korvel::api
