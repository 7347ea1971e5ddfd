#include "LocationList.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

using api::ServerLocation;

ServerLocation at(const std::string& hostname, const char* location, const char* code,
                  const char* load = "low") {
    return {QString::fromStdString(hostname), QString::fromUtf8(location), QString::fromUtf8(code),
            QStringLiteral("online"), QString::fromUtf8(load)};
}

using Hosts = std::vector<std::string>;

Hosts shown(const char* locale, LocationTab tab, const char* search, const QList<ServerLocation>& locations,
            const QSet<QString>& favorites = {}, const QStringList& recents = {}) {
    Hosts hosts;
    const LocationList list{QLocale(QString::fromUtf8(locale))};
    for (const ServerLocation& l :
         list.filtered(tab, QString::fromUtf8(search), locations, favorites, recents)) {
        hosts.push_back(l.hostname.toStdString());
    }
    return hosts;
}

TEST(LocationListTest, RecommendedPutsFavouritesThenLighterLoadThenNameFirst) {
    const QList<ServerLocation> loads{
        at("aachen", "Aachen", "de", "HIGH"), at("bonn", "Bonn", "de", "MEDIUM"),
        at("celle", "Celle", "de", "med"),    at("dachau", "Dachau", "de", "busy"),
        at("essen", "Essen", "de", ""),       at("goslar", "Goslar", "de", " high"),
        at("fulda", "Fulda", "de", "Low")};
    const QList<ServerLocation> favorites{at("h", "Helsinki", "fi"), at("f", "Frankfurt", "de", "high"),
                                          at("g", "Geneva", "ch")};
    const auto recommended = [](const QList<ServerLocation>& locations, const QSet<QString>& favorites = {}) {
        return shown("en_US", LocationTab::recommended, "", locations, favorites);
    };
    EXPECT_EQ(recommended(loads), (Hosts{"dachau", "essen", "fulda", "goslar", "bonn", "celle", "aachen"}));
    EXPECT_EQ(recommended(favorites, {"f", "g", "gone"}), (Hosts{"g", "f", "h"}));
    EXPECT_EQ(recommended({at("b", "Berlin", "de"), at("a", "amsterdam", "nl")}), (Hosts{"a", "b"}));
    EXPECT_EQ(recommended({at("b", "Bergen", "no"), at("a", "\u00C5lesund", "no")}), (Hosts{"a", "b"}));
}

TEST(LocationListTest, AllSortsByCountryNameOnlyInTheLocale) {
    const QList<ServerLocation> locations{at("munich", "M\u00FCnchen", "de", "high"),
                                          at("zurich", "Z\u00FCrich", "ch"),
                                          at("vienna", "Wien", "at"),
                                          at("nowhere", "Nowhere", "xx"),
                                          at("berlin", "Berlin", "DE"),
                                          at("oslo", "Oslo", "no")};
    EXPECT_EQ(shown("en_US", LocationTab::all, "", locations, {"oslo"}),
              (Hosts{"vienna", "munich", "berlin", "oslo", "zurich", "nowhere"}));
    EXPECT_EQ(shown("de_DE", LocationTab::all, "", locations),
              (Hosts{"munich", "berlin", "oslo", "vienna", "zurich", "nowhere"}));
}

// Long enough that an unstable sort would not fall back to insertion sort and keep the order by luck.
TEST(LocationListTest, LongListsWithTiesKeepServerOrder) {
    const char* codes[] = {"de", "at", "ch"};
    const char* loads[] = {"low", "medium", "high"};
    const char* names[] = {"Berlin", "berlin", "BERLIN"};
    QList<ServerLocation> locations;
    Hosts byCountry[3];
    Hosts byLoad[3];
    for (int i = 0; i < 60; ++i) {
        const std::string host = "h" + std::to_string(i);
        locations.append(at(host, names[i % 3], codes[(i / 3) % 3], loads[(i / 2) % 3]));
        byCountry[(i / 3) % 3].push_back(host);
        byLoad[(i / 2) % 3].push_back(host);
    }
    const auto joined = [](const Hosts(&parts)[3], int first, int second, int third) {
        Hosts all = parts[first];
        all.insert(all.end(), parts[second].begin(), parts[second].end());
        all.insert(all.end(), parts[third].begin(), parts[third].end());
        return all;
    };
    EXPECT_EQ(shown("en_US", LocationTab::recommended, "", locations), joined(byLoad, 0, 1, 2));
    EXPECT_EQ(shown("en_US", LocationTab::all, "", locations),
              joined(byCountry, 1, 0, 2)); // Austria, Germany, ...
}

TEST(LocationListTest, RecentFollowsTheRecentListAndSkipsWhatIsGone) {
    const QList<ServerLocation> locations{at("a", "Amsterdam", "nl"), at("b", "Berlin", "de", "high"),
                                          at("c", "Copenhagen", "dk")};
    EXPECT_EQ(shown("en_US", LocationTab::recent, "", locations, {"a"}, {"b", "gone", "c", "b"}),
              (Hosts{"b", "c"}));
}

TEST(LocationListTest, SearchMatchesLocationCodeAndCountryNameInTabOrder) {
    const QList<ServerLocation> locations{
        at("ber.example", "Berlin", "de"), at("ams.example", "Amsterdam", "nl", "med"),
        at("zrh.example", "Z\u00FCrich", "ch", "med"), at("vie.example", "Wien", "at", "high"),
        at("nyc.example", "New York", "us")};
    const struct {
        const char* locale;
        LocationTab tab;
        const char* search;
        Hosts expected;
    } cases[] = {
        {"en_US", LocationTab::all, "  ber\t", {"ber.example"}},
        {"en_US", LocationTab::all, "\u00A0BER\u3000", {"ber.example"}},
        {"en_US", LocationTab::all, "ber\n", {}},
        {"en_US",
         LocationTab::all,
         " \t ",
         {"vie.example", "ber.example", "ams.example", "zrh.example", "nyc.example"}},
        {"en_US", LocationTab::all, "DE", {"ber.example"}},
        {"en_US", LocationTab::all, "germ", {"ber.example"}},
        {"de_DE", LocationTab::all, "deutsch", {"ber.example"}},
        {"en_US", LocationTab::all, "zurich", {}},
        {"en_US", LocationTab::all, "Z\u00DCRICH", {"zrh.example"}},
        {"en_US", LocationTab::all, "zu\u0308r", {"zrh.example"}},
        {"en_US", LocationTab::all, ".example", {}},
        {"en_US", LocationTab::recommended, "er", {"ber.example", "ams.example", "zrh.example"}},
        {"en_US", LocationTab::recent, "er", {"zrh.example", "ber.example"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(
            shown(c.locale, c.tab, c.search, locations, {}, {"zrh.example", "vie.example", "ber.example"}),
            c.expected)
            << c.locale << " [" << c.search << "]";
    }
}

} // namespace
} // namespace korvel::model
