#include "CountryFlag.h"

#include <QList>

namespace korvel::model {

QString countryFlag(const QString& countryCode) {
    // The offset moves 'A' (U+0041) to REGIONAL INDICATOR SYMBOL LETTER A (U+1F1E6).
    constexpr char32_t offset = 127397;
    QString flag;
    for (const char32_t scalar : countryCode.toUpper().toUcs4()) {
        if (scalar + offset <= 0x10FFFF) {
            const char32_t symbol = scalar + offset;
            flag += QString::fromUcs4(&symbol, 1);
        }
    }
    return flag;
}

} // namespace korvel::model
