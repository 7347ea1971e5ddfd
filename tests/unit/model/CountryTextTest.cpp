#include "CountryFlag.h"
#include "CountryNames.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

TEST(CountryNamesTest, NamesInTheLocaleOrTheUpperCasedCode) {
    const char* cases[][3] = {
        {"en_US", "de", "Germany"},
        {"en_US", "DE", "Germany"},
        {"de_DE", "de", "Deutschland"},
        {"sr_Latn_RS", "de", "Nemačka"},
        {"en_US", "419", "Latin America"},
        {"en_US", "xx", "XX"},
        {"en_US", "", ""},
        {"en_US", "de_x", "DE_X"},
        {"en_US", " de", " DE"},
    };
    for (const auto& [locale, code, name] : cases) {
        EXPECT_EQ(CountryNames(QLocale(QString::fromUtf8(locale))).name(QString::fromUtf8(code)),
                  QString::fromUtf8(name))
            << locale << " " << code;
    }
}

TEST(CountryFlagTest, RegionalIndicatorsOfTheUpperCasedCode) {
    const std::u32string cases[][2] = {
        {U"de", U"\U0001F1E9\U0001F1EA"},
        {U"DE", U"\U0001F1E9\U0001F1EA"},
        {U"", U""},
        {U"x", U"\U0001F1FD"},
        {U"\u00DF", U"\U0001F1F8\U0001F1F8"},
        {U"1", U"\U0001F1D6"},
        {U"\U000F0E5A", U"\U0010FFFF"},
        {U"a\U000F0E5B", U"\U0001F1E6"},
    };
    for (const auto& [code, flag] : cases) {
        EXPECT_EQ(countryFlag(QString::fromUcs4(code.data(), code.size())),
                  QString::fromUcs4(flag.data(), flag.size()));
    }
}

} // namespace
} // namespace korvel::model
