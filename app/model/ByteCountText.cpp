#include "ByteCountText.h"

#include <array>
#include <cmath>

namespace korvel::model {
namespace {

struct Unit {
    const char* name;
    double bytes;
    int decimals;
};

constexpr std::array<Unit, 3> kUnits{
    {{"KB", 1024.0, 0}, {"MB", 1024.0 * 1024, 1}, {"GB", 1024.0 * 1024 * 1024, 2}}};

} // namespace

QString byteCountText(qint64 bytes) {
    std::size_t unit = 0;
    while (unit + 1 < kUnits.size() && static_cast<double>(bytes) >= kUnits[unit + 1].bytes) {
        ++unit;
    }
    double shown = 0;
    for (;; ++unit) {
        const double scale = std::pow(10.0, kUnits[unit].decimals);
        shown = std::round(static_cast<double>(bytes) / kUnits[unit].bytes * scale) / scale;
        // Rounding up to 1024 of a unit reads better as 1 of the next.
        if (shown < 1024 || unit + 1 == kUnits.size()) {
            break;
        }
    }
    if (bytes > 0 && shown == 0) {
        shown = 1;
    }
    QString number = QString::number(shown, 'f', kUnits[unit].decimals);
    if (number.contains(u'.')) {
        while (number.endsWith(u'0')) {
            number.chop(1);
        }
        if (number.endsWith(u'.')) {
            number.chop(1);
        }
    }
    return number + u' ' + QLatin1String(kUnits[unit].name);
}

} // namespace korvel::model
