#include "AppModel.h"
#include "ByteCountText.h"
#include "CountryFlag.h"
#include "CountryNames.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

TEST(ModelTextTest, SessionTimeTruncatesAndNeverWrapsHours) {
    const std::pair<double, const char*> rows[] = {{0, "00:00:00"},        {0.999, "00:00:00"},
                                                   {59.9, "00:00:59"},     {3661, "01:01:01"},
                                                   {359999.5, "99:59:59"}, {360000, "100:00:00"}};
    for (const auto& [seconds, text] : rows) {
        EXPECT_EQ(AppModel::formatSessionTime(seconds).toStdString(), text) << seconds;
    }
}

TEST(ModelTextTest, ByteCountsUseKilobytesToGigabytesOf1024) {
    constexpr qint64 k = 1024;
    const std::pair<qint64, const char*> rows[] = {{1, "1 KB"},
                                                   {512 * k, "512 KB"},
                                                   {1535, "1 KB"},
                                                   {1536, "2 KB"},
                                                   {k * k - 1, "1 MB"},
                                                   {3 * k * k / 2, "1.5 MB"},
                                                   {10 * k * k, "10 MB"},
                                                   {k * k * k - 1, "1 GB"},
                                                   {9 * k * k * k / 4, "2.25 GB"},
                                                   {5 * k * k * k * k, "5120 GB"}};
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(byteCountText(bytes).toStdString(), text) << bytes;
    }
}

TEST(ModelTextTest, CountryNamesInTheLocaleOrTheUpperCasedCode) {
    const char* rows[][3] = {{"en_US", "de", "Germany"},
                             {"en_US", "DE", "Germany"},
                             {"de_DE", "de", "Deutschland"},
                             {"sr_Latn_RS", "de", "Nemačka"},
                             {"en_US", "419", "Latin America"},
                             {"en_US", "xx", "XX"},
                             {"en_US", "", ""},
                             {"en_US", "de_x", "DE_X"},
                             {"en_US", " de", " DE"}};
    for (const auto& [locale, code, name] : rows) {
        EXPECT_EQ(CountryNames(QLocale(QString::fromUtf8(locale))).name(QString::fromUtf8(code)),
                  QString::fromUtf8(name))
            << locale << " " << code;
    }
}

// Regional indicators of the upper-cased code; a letter past the end of Unicode is left out.
TEST(ModelTextTest, CountryFlagsAreRegionalIndicators) {
    const std::u32string rows[][2] = {{U"de", U"\U0001F1E9\U0001F1EA"},
                                      {U"DE", U"\U0001F1E9\U0001F1EA"},
                                      {U"", U""},
                                      {U"\u00DF", U"\U0001F1F8\U0001F1F8"},
                                      {U"\U000F0E5A", U"\U0010FFFF"},
                                      {U"a\U000F0E5B", U"\U0001F1E6"}};
    for (const auto& [code, flag] : rows) {
        EXPECT_EQ(countryFlag(QString::fromUcs4(code.data(), code.size())),
                  QString::fromUcs4(flag.data(), flag.size()));
    }
}

} // namespace
} // namespace korvel::model
