#include "AppModel.h"
#include "ByteCountText.h"
#include "CountryFlag.h"
#include "CountryNames.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

QString name(const char* locale, const char* code) {
    return CountryNames(QLocale(QString::fromUtf8(locale))).name(QString::fromUtf8(code));
}

QString flag(const std::u32string& code) { return countryFlag(QString::fromUcs4(code.data(), code.size())); }

// Session time truncates and its hours grow past 99; byte counts go from kilobytes to gigabytes of 1024;
// a country is named in the locale, or by its upper-cased code when that is no region; its flag is the
// regional indicators of the upper-cased code, leaving out a letter that would pass the end of Unicode.
TEST(ModelTextTest, TextsAsTheScreensShowThem) {
    constexpr qint64 k = 1024;
    const std::pair<QString, std::u32string> rows[] = {{AppModel::formatSessionTime(0.999), U"00:00:00"},
                                                       {AppModel::formatSessionTime(360000), U"100:00:00"},
                                                       {byteCountText(1), U"1 KB"},
                                                       {byteCountText(k * k - 1), U"1 MB"},
                                                       {byteCountText(3 * k * k / 2), U"1.5 MB"},
                                                       {byteCountText(9 * k * k * k / 4), U"2.25 GB"},
                                                       {byteCountText(5 * k * k * k * k), U"5120 GB"},
                                                       {name("en_US", "De"), U"Germany"},
                                                       {name("de_DE", "de"), U"Deutschland"},
                                                       {name("sr_Latn_RS", "de"), U"Nemačka"},
                                                       {name("en_US", "419"), U"Latin America"},
                                                       {name("en_US", "de_x"), U"DE_X"},
                                                       {flag(U"dE"), U"\U0001F1E9\U0001F1EA"},
                                                       {flag(U"\U000F0E5A"), U"\U0010FFFF"},
                                                       {flag(U"a\U000F0E5B"), U"\U0001F1E6"}};
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(text, QString::fromUcs4(expected.data(), expected.size()));
    }
}

} // namespace
} // namespace korvel::model
