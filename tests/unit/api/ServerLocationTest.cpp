#include "ServerLocation.h"
#include "ServerLoad.h"

#include <QSet>

#include <gtest/gtest.h>

namespace korvel::api {
namespace {

// U+0130 lowercases to "i" and a combining dot; a fullwidth H stays fullwidth.
TEST(ServerLoadText, NamesItsClassAfterFullLowercasing) {
    const std::pair<const char*, ServerLoad> cases[] = {
        {"HIGH", ServerLoad::high},       {"MeDiUm", ServerLoad::medium},
        {"mED", ServerLoad::medium},      {"", ServerLoad::low},
        {"busy", ServerLoad::low},        {" high", ServerLoad::low},
        {"H\xC4\xB0GH", ServerLoad::low}, {"\xEF\xBC\xA8IGH", ServerLoad::low}};
    for (const auto& [utf8, load] : cases) {
        EXPECT_EQ(serverLoad(QString::fromUtf8(utf8)), load) << utf8;
    }
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
