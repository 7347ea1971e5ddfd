#include "PolkitAuthority.h"
#include "PrivateSystemBus.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <functional>

using namespace korvel::service;
using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

using Results = std::vector<std::pair<std::uint64_t, bool>>;

// Runs the authority's part of a poll loop, as the daemon does, until `done` holds. Waits last as long as
// the authority asks, or 10 ms when `done` watches the fake's record, which the bus does not signal.
Results drive(PolkitAuthority& authority, const std::function<bool(const Results&)>& done,
              bool watchingRecord = false) {
    Results results;
    for (int turn = 0; !done(results) && turn < 2000; ++turn) {
        pollfd entry = authority.pollEntry();
        ::poll(&entry, 1, watchingRecord ? 10 : authority.pollTimeout());
        const Results ended = authority.process();
        results.insert(results.end(), ended.begin(), ended.end());
    }
    return results;
}

Results driveUntil(PolkitAuthority& authority, std::size_t count) {
    return drive(authority, [count](const Results& results) { return results.size() >= count; });
}

// The first line of the fake's record that starts with `prefix`, once there is one; for a check, only
// its cancellation id.
std::string recorded(PolkitAuthority& authority, const PrivateSystemBus& bus, const std::string& prefix) {
    std::string found;
    const auto seen = [&](const Results&) {
        for (const std::string& line : bus.record()) {
            found = found.empty() && line.starts_with(prefix) ? line : found;
        }
        return !found.empty();
    };
    drive(authority, seen, true);
    return prefix == "check " ? found.substr(6, found.find(' ', 6) - 6) : found;
}

class PolkitAuthorityTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = PrivateSystemBus::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

TEST_F(PolkitAuthorityTest, TimeLimitRefusesAndWithdrawsAHeldCheckWithoutHoldingUpOthers) {
    PrivateSystemBus bus("1000", "2000");
    PolkitAuthority authority(bus.address(), 300ms);
    ASSERT_TRUE(authority.ask(1, {::getpid(), 1, 2000, -1}));
    ASSERT_TRUE(authority.ask(2, {::getpid(), 1, 1000, -1}));
    EXPECT_EQ(driveUntil(authority, 2), (Results{{2, true}, {1, false}}));
    EXPECT_EQ(recorded(authority, bus, "cancel "), "cancel " + recorded(authority, bus, "check "));
}

TEST_F(PolkitAuthorityTest, ACancelledCheckNeverAnswersAndABrokenBusRefusesWhatWaitsOnIt) {
    auto bus = std::make_unique<PrivateSystemBus>("1000", "2000");
    PolkitAuthority authority(bus->address());
    ASSERT_TRUE(authority.ask(1, {::getpid(), 1, 2000, -1}));
    const std::string held = recorded(authority, *bus, "check ");
    ASSERT_FALSE(held.empty());
    authority.cancel(1);
    EXPECT_EQ(recorded(authority, *bus, "cancel "), "cancel " + held);
    // The fake answered the withdrawn check with an error before it saw this one.
    ASSERT_TRUE(authority.ask(2, {::getpid(), 1, 1000, -1}));
    EXPECT_EQ(driveUntil(authority, 1), (Results{{2, true}}));
    ASSERT_TRUE(authority.ask(3, {::getpid(), 1, 2000, -1}));
    drive(
        authority, [&](const Results&) { return bus->record().size() == 4; }, true);
    bus.reset();
    EXPECT_EQ(driveUntil(authority, 1), (Results{{3, false}}));
    EXPECT_EQ(authority.pollEntry().fd, -1);
}

} // namespace
