#pragma once

#include <QString>

namespace korvel::model {

// The flag emoji of a country code: each character of the upper-cased code becomes the regional
// indicator symbol 127397 above it; a result beyond the last Unicode scalar is dropped.
QString countryFlag(const QString& countryCode);

} // namespace korvel::model
