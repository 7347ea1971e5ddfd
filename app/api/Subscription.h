#pragma once

#include "JsonReader.h"

#include <QString>

namespace korvel::api {

struct Subscription {
    QString plan;
    QString status;

    static Subscription read(JsonReader& json);
};

} // namespace korvel::api
