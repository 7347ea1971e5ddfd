#include "ServerLocation.h"
#include "ServerLoad.h"

#include <QSet>

#include <gtest/gtest.h>

namespace korvel::api {
namespace {

struct LoadCase {
    const char* text; // UTF-8
    ServerLoad load;
};

class LoadText : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadText, NamesItsClass) {
    EXPECT_EQ(serverLoad(QString::fromUtf8(GetParam().text)), GetParam().load);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LoadText,
    testing::Values(LoadCase{"high", ServerLoad::high}, LoadCase{"HIGH", ServerLoad::high},
                    LoadCase{"hIgH", ServerLoad::high}, LoadCase{"medium", ServerLoad::medium},
                    LoadCase{"MeDiUm", ServerLoad::medium}, LoadCase{"med", ServerLoad::medium},
                    LoadCase{"MED", ServerLoad::medium}, LoadCase{"low", ServerLoad::low},
                    LoadCase{"", ServerLoad::low}, LoadCase{"busy", ServerLoad::low},
                    LoadCase{" high", ServerLoad::low}, LoadCase{"high ", ServerLoad::low},
                    LoadCase{"medi", ServerLoad::low},
                    // Full lowercasing turns U+0130 into "i" plus a combining dot, which is not "high".
                    LoadCase{"H\xC4\xB0GH", ServerLoad::low},
                    // Fullwidth letters lowercase to fullwidth letters, not to ASCII.
                    LoadCase{"\xEF\xBC\xA8IGH", ServerLoad::low}));

TEST(ServerLoadOrder, LowSortsBeforeMediumBeforeHigh) {
    EXPECT_LT(ServerLoad::low, ServerLoad::medium);
    EXPECT_LT(ServerLoad::medium, ServerLoad::high);
}

ServerLocation location(QString load) {
    return {QStringLiteral("de-fra-1.example"), QString::fromUtf8("D\xC3\xBCsseldorf"), QStringLiteral("DE"),
            QStringLiteral("online"), std::move(load)};
}

TEST(ServerLocationIdentity, SameHostDifferentLoadSameIdNotEqual) {
    const ServerLocation before = location(QStringLiteral("low"));
    const ServerLocation after = location(QStringLiteral("high"));
    EXPECT_EQ(before.id(), after.id());
    EXPECT_NE(before, after);
    EXPECT_EQ(before, location(QStringLiteral("low")));
}

TEST(ServerLocationIdentity, EqualityIsCaseSensitive) {
    ServerLocation upper = location(QStringLiteral("low"));
    upper.countryCode = QStringLiteral("de");
    EXPECT_NE(upper, location(QStringLiteral("low")));
}

TEST(ServerLocationIdentity, CanonicallyEquivalentTextsAreEqualAndHashAlike) {
    const ServerLocation precomposed = location(QStringLiteral("low"));
    ServerLocation decomposed = precomposed;
    decomposed.location = QString::fromUtf8("Du\xCC\x88sseldorf"); // u + combining diaeresis
    ASSERT_NE(precomposed.location, decomposed.location);
    EXPECT_EQ(precomposed, decomposed);
    EXPECT_EQ(qHash(precomposed, 7), qHash(decomposed, 7));
    EXPECT_EQ(QSet<ServerLocation>({precomposed, decomposed}).size(), 1);
}

TEST(ServerLocationIdentity, HashTakesEveryFieldInOrder) {
    const ServerLocation a{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                           QStringLiteral("e")};
    const ServerLocation swapped{QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("c"),
                                 QStringLiteral("d"), QStringLiteral("e")};
    ServerLocation otherLoad = a;
    otherLoad.load = QStringLiteral("f");
    EXPECT_NE(qHash(a, 0), qHash(swapped, 0));
    EXPECT_NE(qHash(a, 0), qHash(otherLoad, 0));
}

} // namespace
} // namespace korvel::api
