#pragma once

#include "JsonReader.h"

#include <QString>

namespace korvel::api {

// A device's WireGuard configuration text, not judged here: the tunnel daemon checks it.
struct WireGuardConfig {
    QString config;

    static WireGuardConfig read(JsonReader& json);
};

} // namespace korvel::api
