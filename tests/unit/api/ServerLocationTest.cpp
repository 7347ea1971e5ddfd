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
    testing::Values(LoadCase{"HIGH", ServerLoad::high}, LoadCase{"MeDiUm", ServerLoad::medium},
                    LoadCase{"mED", ServerLoad::medium}, LoadCase{"", ServerLoad::low},
                    LoadCase{"busy", ServerLoad::low}, LoadCase{" high", ServerLoad::low},
                    // U+0130 lowercases to "i" and a combining dot; a fullwidth H stays fullwidth.
                    LoadCase{"H\xC4\xB0GH", ServerLoad::low}, LoadCase{"\xEF\xBC\xA8IGH", ServerLoad::low}));

TEST(ServerLoadOrder, LowSortsBeforeMediumBeforeHigh) {
    EXPECT_LT(ServerLoad::low, ServerLoad::medium);
    EXPECT_LT(ServerLoad::medium, ServerLoad::high);
}

TEST(ServerLocationIdentity, EqualityOverAllFieldsUpToCanonicalForm) {
    const ServerLocation before{QStringLiteral("de-1"), QString::fromUtf8("D\xC3\xBCsseldorf"),
                                QStringLiteral("DE"), QStringLiteral("online"), QStringLiteral("low")};
    ServerLocation loaded = before;
    loaded.load = QStringLiteral("high");
    EXPECT_EQ(loaded.id(), before.id());
    EXPECT_NE(loaded, before);
    ServerLocation lowercase = before;
    lowercase.countryCode = QStringLiteral("de");
    EXPECT_NE(lowercase, before);

    ServerLocation decomposed = before;
    decomposed.location = QString::fromUtf8("Du\xCC\x88sseldorf"); // u + combining diaeresis
    EXPECT_EQ(decomposed, before);
    EXPECT_EQ(qHash(decomposed, 7), qHash(before, 7));
    EXPECT_EQ(QSet<ServerLocation>({before, decomposed}).size(), 1);
}

} // namespace
} // namespace korvel::api
