#include "ListenerDelegate.h"

#include <gtest/gtest.h>

#include <vector>

using namespace korvel::service;

namespace {

const std::string kPath = "/opt/korvel/bin/korvel";
const SigningIdentity kApp{"korvel.app", std::nullopt};
const SigningIdentity kDaemon{"korvel.tunneld", std::nullopt};
const SigningIdentity kTeam1{"korvel.app", "T1"};
const FileIdentity kFile{8, 1234};
const FileAttributes kAttributes{0, 0755, kFile};

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
        return item == kPath ? row.attributes : std::nullopt;
    }
    const Case& row;
};

TEST(ListenerDelegate, AdmitsOnlyTheApplication) {
    const std::vector<Case> cases = {
        {"caller lookup failed", std::nullopt, kDaemon, kFile, kAttributes, false},
        {"own lookup failed", kApp, std::nullopt, kFile, kAttributes, false},
        {"caller without identifier", SigningIdentity{}, kDaemon, kFile, kAttributes, false},
        {"identifier in another case", SigningIdentity{"Korvel.app", {}}, kDaemon, kFile, kAttributes, false},
        {"same team, any path", kTeam1, SigningIdentity{{}, "T1"}, std::nullopt, std::nullopt, true},
        {"other team", kTeam1, SigningIdentity{{}, "T2"}, kFile, kAttributes, false},
        {"caller team, daemon none", kTeam1, kDaemon, kFile, kAttributes, false},
        {"team, other identifier", SigningIdentity{"korvel.tunneld", "T1"}, SigningIdentity{{}, "T1"}, kFile,
         kAttributes, false},
        {"daemon team empty, caller none", kApp, SigningIdentity{{}, ""}, kFile, kAttributes, false},
        {"installed application", kApp, kDaemon, kFile, kAttributes, true},
        {"empty caller team counts as none", SigningIdentity{"korvel.app", ""}, kDaemon, kFile,
         FileAttributes{0, 0700, kFile}, true},
        {"group-writable", kApp, kDaemon, kFile, FileAttributes{0, 0775, kFile}, false},
        {"writable by others", kApp, kDaemon, kFile, FileAttributes{0, 0757, kFile}, false},
        {"other owner", kApp, kDaemon, kFile, FileAttributes{1000, 0755, kFile}, false},
        // What a private mount over the application's folder, a copy, or an upgrade shows.
        {"another file", kApp, kDaemon, FileIdentity{8, 4321}, kAttributes, false},
        {"same inode, other device", kApp, kDaemon, FileIdentity{9, 1234}, kAttributes, false},
        {"executable lookup failed", kApp, kDaemon, std::nullopt, kAttributes, false},
        {"attributes unreadable", kApp, kDaemon, kFile, std::nullopt, false},
    };
    const ListenerDelegate delegate(kPath);
    for (const Case& c : cases) {
        Facts facts(c);
        EXPECT_EQ(delegate.shouldAcceptNewConnection(facts), c.accepted) << c.name;
    }
}

} // namespace
