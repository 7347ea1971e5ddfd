#pragma once

#include "JsonReader.h"
#include "Subscription.h"
#include "Usage.h"

#include <QString>

#include <optional>

namespace korvel::api {

struct Account {
    QString email;
    std::optional<Subscription> subscription;
    std::optional<Usage> usage;

    static Account read(JsonReader& json);
};

} // namespace korvel::api
