#include "ListenerDelegate.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korvel::service;

namespace {

const std::string kApp = "/opt/korvel/bin/korvel";
const SigningIdentity kNoTeam{"korvel.app", std::nullopt};
const SigningIdentity kDaemon{"korvel.tunneld", std::nullopt};
const SigningIdentity kTeam1{"korvel.app", "T1"};
const FileIdentity kInstalledFile{8, 1234};
const FileAttributes kInstalled{0, 0755, kInstalledFile};

struct Case {
    const char* name;
    std::optional<SigningIdentity> caller;
    std::optional<SigningIdentity> own;
    std::optional<FileIdentity> running;
    std::optional<FileAttributes> attributes;
    bool accepted;
};

// Answers each lookup from one row of the table; attributes only for the application's path.
struct Facts final : AdmissionFacts {
    explicit Facts(const Case& row) : row(row) {}
    std::optional<SigningIdentity> callerIdentity() override { return row.caller; }
    std::optional<SigningIdentity> ownIdentity() override { return row.own; }
    std::optional<FileIdentity> callerExecutable() override { return row.running; }
    std::optional<FileAttributes> attributesOfItem(const std::string& item) override {
        return item == kApp ? row.attributes : std::nullopt;
    }
    const Case& row;
};

TEST(ListenerDelegate, AdmitsOnlyTheApplication) {
    const std::vector<Case> cases = {
        {"caller lookup failed", std::nullopt, kDaemon, kInstalledFile, kInstalled, false},
        {"own lookup failed", kNoTeam, std::nullopt, kInstalledFile, kInstalled, false},
        {"caller without identifier", SigningIdentity{}, kDaemon, kInstalledFile, kInstalled, false},
        {"identifier in another case", SigningIdentity{"Korvel.app", {}}, kDaemon, kInstalledFile, kInstalled,
         false},
        {"same team, any path", kTeam1, SigningIdentity{{}, "T1"}, std::nullopt, std::nullopt, true},
        {"other team", kTeam1, SigningIdentity{{}, "T2"}, kInstalledFile, kInstalled, false},
        {"caller team, daemon none", kTeam1, kDaemon, kInstalledFile, kInstalled, false},
        {"right team, other identifier", SigningIdentity{"korvel.tunneld", "T1"}, SigningIdentity{{}, "T1"},
         kInstalledFile, kInstalled, false},
        {"daemon team empty, caller none", kNoTeam, SigningIdentity{{}, ""}, kInstalledFile, kInstalled,
         false},
        {"installed application", kNoTeam, kDaemon, kInstalledFile, kInstalled, true},
        {"empty caller team counts as none", SigningIdentity{"korvel.app", ""}, kDaemon, kInstalledFile,
         FileAttributes{0, 0700, kInstalledFile}, true},
        {"group-writable", kNoTeam, kDaemon, kInstalledFile, FileAttributes{0, 0775, kInstalledFile}, false},
        {"writable by others", kNoTeam, kDaemon, kInstalledFile, FileAttributes{0, 0757, kInstalledFile},
         false},
        {"other owner", kNoTeam, kDaemon, kInstalledFile, FileAttributes{1000, 0755, kInstalledFile}, false},
        // What a private mount over the application's folder, a copy, or an upgrade shows.
        {"another file", kNoTeam, kDaemon, FileIdentity{8, 4321}, kInstalled, false},
        {"same inode, other device", kNoTeam, kDaemon, FileIdentity{9, 1234}, kInstalled, false},
        {"executable lookup failed", kNoTeam, kDaemon, std::nullopt, kInstalled, false},
        {"attributes unreadable", kNoTeam, kDaemon, kInstalledFile, std::nullopt, false},
    };
    const ListenerDelegate delegate(kApp);
    for (const Case& c : cases) {
        Facts facts(c);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(facts), c.accepted) << c.name;
    }
}

} // namespace
