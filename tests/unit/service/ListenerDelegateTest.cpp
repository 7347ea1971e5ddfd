#include "ListenerDelegate.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korvel::service;

namespace {

const std::string kApp = "/opt/korvel/bin/korvel";
const SigningIdentity kNoTeam{"korvel.app", std::nullopt};
const SigningIdentity kDaemon{"korvel.tunneld", std::nullopt};
const SigningIdentity kTeam1{"korvel.app", "T1"};
const FileAttributes kInstalled{0, 0755};

struct Case {
    const char* name;
    std::optional<SigningIdentity> caller;
    std::optional<SigningIdentity> own;
    std::optional<std::string> path;
    std::optional<FileAttributes> attributes;
    bool accepted;
};

// Answers each lookup from one row of the table; attributes only for the caller's own path.
struct Facts final : AdmissionFacts {
    explicit Facts(const Case& row) : row(row) {}
    std::optional<SigningIdentity> callerIdentity() override { return row.caller; }
    std::optional<SigningIdentity> ownIdentity() override { return row.own; }
    std::optional<std::string> callerExecutablePath() override { return row.path; }
    std::optional<FileAttributes> attributesOfItem(const std::string& item) override {
        return item == row.path ? row.attributes : std::nullopt;
    }
    const Case& row;
};

TEST(ListenerDelegate, AdmitsOnlyTheApplication) {
    const std::vector<Case> cases = {
        {"caller lookup failed", std::nullopt, kDaemon, kApp, kInstalled, false},
        {"own lookup failed", kNoTeam, std::nullopt, kApp, kInstalled, false},
        {"caller without identifier", SigningIdentity{}, kDaemon, kApp, kInstalled, false},
        {"identifier in another case", SigningIdentity{"Korvel.app", {}}, kDaemon, kApp, kInstalled, false},
        {"same team, any path", kTeam1, SigningIdentity{{}, "T1"}, std::nullopt, std::nullopt, true},
        {"other team", kTeam1, SigningIdentity{{}, "T2"}, kApp, kInstalled, false},
        {"caller team, daemon none", kTeam1, kDaemon, kApp, kInstalled, false},
        {"right team, other identifier", SigningIdentity{"korvel.tunneld", "T1"}, SigningIdentity{{}, "T1"},
         kApp, kInstalled, false},
        {"daemon team empty, caller none", kNoTeam, SigningIdentity{{}, ""}, kApp, kInstalled, false},
        {"installed application", kNoTeam, kDaemon, kApp, kInstalled, true},
        {"empty caller team counts as none", SigningIdentity{"korvel.app", ""}, kDaemon, kApp,
         FileAttributes{0, 0700}, true},
        {"group-writable", kNoTeam, kDaemon, kApp, FileAttributes{0, 0775}, false},
        {"writable by others", kNoTeam, kDaemon, kApp, FileAttributes{0, 0757}, false},
        {"other owner", kNoTeam, kDaemon, kApp, FileAttributes{1000, 0755}, false},
        {"path with a suffix", kNoTeam, kDaemon, kApp + " (deleted)", kInstalled, false},
        {"path lookup failed", kNoTeam, kDaemon, std::nullopt, kInstalled, false},
        {"attributes unreadable", kNoTeam, kDaemon, kApp, std::nullopt, false},
    };
    const ListenerDelegate delegate(kApp);
    for (const Case& c : cases) {
        Facts facts(c);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(facts), c.accepted) << c.name;
    }
}

} // namespace
