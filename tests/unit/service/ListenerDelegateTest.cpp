#include "ListenerDelegate.h"

#include <gtest/gtest.h>

#include <vector>

using korvel::service::AdmissionFacts;
using korvel::service::FileAttributes;
using korvel::service::ListenerDelegate;
using korvel::service::SigningIdentity;

namespace {

const std::string kApp = "/opt/korvel/bin/korvel";

struct Facts final : AdmissionFacts {
    std::optional<SigningIdentity> caller;
    std::optional<SigningIdentity> own;
    std::optional<std::string> path = kApp;
    std::optional<FileAttributes> attributes = FileAttributes{0, 0755};

    std::optional<SigningIdentity> callerIdentity() override { return caller; }
    std::optional<SigningIdentity> ownIdentity() override { return own; }
    std::optional<std::string> callerExecutablePath() override { return path; }
    std::optional<FileAttributes> attributesOfItem(const std::string& item) override {
        return item == path ? attributes : std::nullopt;
    }
};

struct Case {
    const char* name;
    std::optional<SigningIdentity> caller;
    std::optional<SigningIdentity> own;
    std::optional<std::string> path;
    std::optional<FileAttributes> attributes;
    bool accepted;
};

const SigningIdentity kUnsigned{"korvel.app", std::nullopt};
const SigningIdentity kDaemon{"korvel.tunneld", std::nullopt};
const FileAttributes kInstalled{0, 0755};

TEST(ListenerDelegate, AdmitsOnlyTheApplication) {
    const std::vector<Case> cases = {
        {"caller lookup failed", std::nullopt, kDaemon, kApp, kInstalled, false},
        {"own lookup failed", kUnsigned, std::nullopt, kApp, kInstalled, false},
        {"caller without identifier", SigningIdentity{}, kDaemon, kApp, kInstalled, false},
        {"other identifier", SigningIdentity{"korvel.tunneld", {}}, kDaemon, kApp, kInstalled, false},
        {"identifier in another case", SigningIdentity{"Korvel.app", {}}, kDaemon, kApp, kInstalled, false},
        {"same team, any path", SigningIdentity{"korvel.app", "T1"}, SigningIdentity{{}, "T1"}, "/tmp/x",
         std::nullopt, true},
        {"same team, own identifier absent", SigningIdentity{"korvel.app", "T1"}, SigningIdentity{{}, "T1"},
         std::nullopt, std::nullopt, true},
        {"other team", SigningIdentity{"korvel.app", "T1"}, SigningIdentity{{}, "T2"}, kApp, kInstalled,
         false},
        {"caller team, daemon none", SigningIdentity{"korvel.app", "T1"}, kDaemon, kApp, kInstalled, false},
        {"right team, other identifier", SigningIdentity{"korvel.App", "T1"}, SigningIdentity{{}, "T1"}, kApp,
         kInstalled, false},
        {"daemon team, caller none", kUnsigned, SigningIdentity{{}, "T1"}, kApp, kInstalled, false},
        {"daemon team empty, caller none", kUnsigned, SigningIdentity{{}, ""}, kApp, kInstalled, false},
        {"installed application", kUnsigned, kDaemon, kApp, kInstalled, true},
        {"empty caller team counts as none", SigningIdentity{"korvel.app", ""}, kDaemon, kApp, kInstalled,
         true},
        {"0700 is fine", kUnsigned, kDaemon, kApp, FileAttributes{0, 0700}, true},
        {"group-writable", kUnsigned, kDaemon, kApp, FileAttributes{0, 0775}, false},
        {"writable by others", kUnsigned, kDaemon, kApp, FileAttributes{0, 0757}, false},
        {"other owner", kUnsigned, kDaemon, kApp, FileAttributes{1000, 0755}, false},
        {"other path", kUnsigned, kDaemon, "/usr/bin/korvel", kInstalled, false},
        {"path with a suffix", kUnsigned, kDaemon, kApp + " (deleted)", kInstalled, false},
        {"path lookup failed", kUnsigned, kDaemon, std::nullopt, kInstalled, false},
        {"attributes unreadable", kUnsigned, kDaemon, kApp, std::nullopt, false},
    };
    const ListenerDelegate delegate(kApp);
    for (const Case& c : cases) {
        Facts facts;
        facts.caller = c.caller;
        facts.own = c.own;
        facts.path = c.path;
        facts.attributes = c.attributes;
        EXPECT_EQ(delegate.shouldAcceptNewConnection(facts), c.accepted) << c.name;
    }
}

} // namespace
