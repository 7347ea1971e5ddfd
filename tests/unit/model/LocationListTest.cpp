#include "LocationList.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

using api::ServerLocation;

ServerLocation at(const QString& hostname, const char* location, const char* code, const char* load = "low") {
    return {hostname, QString::fromUtf8(location), QString::fromUtf8(code), QStringLiteral("online"),
            QString::fromUtf8(load)};
}

// The hosts listed, in order. One list per locale serves every call, as on the screen.
QString shown(const char* locale, LocationTab tab, const char* search,
              const QList<ServerLocation>& locations) {
    static const LocationList en{QLocale(QStringLiteral("en_US"))}, de{QLocale(QStringLiteral("de_DE"))};
    QStringList hosts;
    for (const ServerLocation& l : (*locale == 'e' ? en : de)
                                       .filtered(tab, QString::fromUtf8(search), locations,
                                                 {"vie", "ams", "gone"}, {"zrh", "gone", "ber", "zrh"})) {
        hosts.append(l.hostname);
    }
    return hosts.join(u' ');
}

// Recommended: favourites, then lighter load, then the city's name; all: the country's name in the
// locale; recent: the recent list. A search matches city, code or country name, not the host.
TEST(LocationListTest, EachTabSortsAndSearchesAsItsLocaleReads) {
    const QList<ServerLocation> locations{at("ber", "berlin", "de"),
                                          at("muc", "M\u00FCnchen", "DE", "high"),
                                          at("ams", "Amsterdam", "nl", "medium"),
                                          at("ale", "\u00C5lesund", "no"),
                                          at("zrh", "Z\u00FCrich", "ch", "medium"),
                                          at("vie", "Wien", "at", "high"),
                                          at("xx1", "Nowhere", "xx"),
                                          at("nyc", "New York", "us")};
    const struct {
        const char* locale;
        LocationTab tab;
        const char *search, *shown;
    } rows[] = {{"en", LocationTab::recommended, "", "ams vie ale ber nyc xx1 zrh muc"},
                {"en", LocationTab::all, "", "vie ber muc ams ale zrh nyc xx1"},
                {"de", LocationTab::all, "", "ber muc ams ale vie zrh nyc xx1"},
                {"en", LocationTab::recent, "", "zrh ber"},
                {"en", LocationTab::all, "\u00A0 BER\t\u3000", "ber"},

                {"en", LocationTab::all, "ber\n", ""},

                {"en", LocationTab::all, "DE", "ber muc"},
                {"en", LocationTab::all, "germ", "ber muc"},
                {"de", LocationTab::all, "deutsch", "ber muc"},
                {"en", LocationTab::all, "zurich", ""},
                {"en", LocationTab::all, "Z\u00DCRICH", "zrh"},
                {"en", LocationTab::all, "zu\u0308r", "zrh"},

                {"en", LocationTab::recommended, "er", "ams ber xx1 zrh muc"},
                {"en", LocationTab::recent, "er", "zrh ber"}};
    for (const auto& row : rows) {
        EXPECT_EQ(shown(row.locale, row.tab, row.search, locations), row.shown)
            << row.locale << " [" << row.search << "]";
    }
}

// Long enough that an unstable sort would not fall back to insertion sort and keep the order by luck.
TEST(LocationListTest, LongListsOfTiesKeepServerOrder) {
    QList<ServerLocation> locations;
    QStringList hosts;
    for (int i = 0; i < 60; ++i) {
        hosts.append(QStringLiteral("h%1").arg(i));
        locations.append(
            at(hosts.last(), i % 2 ? "Berlin" : "BERLIN", i % 3 ? "de" : "DE", i % 5 ? "low" : "Low"));
    }
    EXPECT_EQ(shown("en", LocationTab::recommended, "", locations), hosts.join(u' '));
    EXPECT_EQ(shown("en", LocationTab::all, "", locations), hosts.join(u' '));
}

} // namespace
} // namespace korvel::model
