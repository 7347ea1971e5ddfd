#pragma once

#include "JsonReader.h"

#include <QString>

#include <optional>

namespace korvel::api {

// Data used by the account; every field may be missing.
struct Usage {
    std::optional<QString> period;
    std::optional<qint64> bytesUsed;
    std::optional<qint64> bytesUsedLifetime;
    std::optional<bool> planIsFree;
    std::optional<bool> unlimitedData;
    std::optional<qint64> speedMbps;

    static Usage read(JsonReader& json);
};

} // namespace korvel::api
