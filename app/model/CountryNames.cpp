#include "CountryNames.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <array>

namespace korvel::model {
namespace {

bool isRegionCode(const QString& code) {
    const auto all = [&](auto test) { return std::all_of(code.begin(), code.end(), test); };
    if (code.size() == 2) {
        return all([](QChar c) { return c >= u'A' && c <= u'Z'; });
    }
    return code.size() == 3 && all([](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

CountryNames::CountryNames(const QLocale& locale) {
    // The BCP 47 tag keeps the script (sr-Latn) that QLocale::name() drops.
    std::array<char, ULOC_FULLNAME_CAPACITY> id{};
    UErrorCode status = U_ZERO_ERROR;
    uloc_forLanguageTag(locale.bcp47Name().toLatin1().constData(), id.data(), id.size(), nullptr, &status);
    localeId_ = U_SUCCESS(status) ? QByteArray(id.data()) : QByteArrayLiteral("en");
}

QString CountryNames::name(const QString& countryCode) const {
    const QString code = countryCode.toUpper();
    // Anything else would be read as more than a region: "de_x" names Germany with a variant.
    if (!isRegionCode(code)) {
        return code;
    }
    const QByteArray regionOnly = QByteArrayLiteral("und_") + code.toLatin1();
    std::array<UChar, 256> name{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_getDisplayCountry(regionOnly.constData(), localeId_.constData(), name.data(),
                                                  name.size(), &status);
    // ICU answers an unknown region with the code itself.
    if (U_FAILURE(status) || length <= 0) {
        return code;
    }
    return QString::fromUtf16(name.data(), length);
}

} // namespace korvel::model
