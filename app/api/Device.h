#pragma once

#include "JsonReader.h"

#include <QString>

namespace korvel::api {

// A device registered on the account.
struct Device {
    qint64 id = 0;
    QString name;
    QString platform;
    QString protocol;

    static Device read(JsonReader& json);
};

} // namespace korvel::api
