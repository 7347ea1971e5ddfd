#include "PolkitAuthority.h"
#include "PrivateSystemBus.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

using namespace korvel::service;
using namespace korvel::test;
using namespace std::chrono_literals;

namespace {

using Results = std::vector<std::pair<std::uint64_t, bool>>;

// Runs the authority's part of a poll loop, as the daemon does, until `done` holds or 20 s passed. Each
// wait lasts at most `slice` ms, for conditions that the bus does not signal.
Results drive(PolkitAuthority& authority, const std::function<bool(const Results&)>& done,
              long slice = 20'000) {
    Results results;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done(results) && std::chrono::steady_clock::now() < deadline) {
        pollfd entry = authority.pollEntry();
        const long left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        const long wait = authority.pollTimeout();
        ::poll(&entry, 1, static_cast<int>(std::min({wait < 0 ? left : wait, left, slice})));
        const Results ended = authority.process();
        results.insert(results.end(), ended.begin(), ended.end());
    }
    return results;
}

Results driveUntil(PolkitAuthority& authority, std::size_t count) {
    return drive(authority, [count](const Results& results) { return results.size() >= count; });
}

// Drives the loop until the fake has recorded a line starting with `prefix`, and returns that line.
std::string recorded(PolkitAuthority& authority, const PrivateSystemBus& bus, const std::string& prefix) {
    std::string found;
    drive(
        authority,
        [&](const Results&) {
            const auto lines = bus.record();
            const auto line =
                std::find_if(lines.begin(), lines.end(), [&](auto& l) { return l.starts_with(prefix); });
            found = line == lines.end() ? "" : *line;
            return !found.empty();
        },
        10);
    return found;
}

// The cancellation id a check line names.
std::string cancellationOf(const std::string& line) { return line.substr(6, line.find(' ', 6) - 6); }

class PolkitAuthorityTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = PrivateSystemBus::skipReason(); !reason.empty()) {
            GTEST_SKIP() << reason;
        }
    }
};

TEST_F(PolkitAuthorityTest, TimeLimitRefusesAndWithdrawsAHeldCheckWithoutHoldingUpOthers) {
    PrivateSystemBus bus;
    bus.startFakeAuthority({"--allow", "1000", "--hold", "2000"});
    PolkitAuthority authority(bus.address(), 300ms);
    ASSERT_TRUE(authority.ask(1, {::getpid(), 1, 2000, -1}));
    ASSERT_TRUE(authority.ask(2, {::getpid(), 1, 1000, -1}));
    EXPECT_EQ(driveUntil(authority, 2), (Results{{2, true}, {1, false}}));
    const std::string held = recorded(authority, bus, "check ");
    EXPECT_EQ(recorded(authority, bus, "cancel "), "cancel " + cancellationOf(held));
}

TEST_F(PolkitAuthorityTest, ACancelledCheckNeverAnswersAndABrokenBusRefusesWhatWaitsOnIt) {
    auto bus = std::make_unique<PrivateSystemBus>();
    bus->startFakeAuthority({"--allow", "1000", "--hold", "2000"});
    PolkitAuthority authority(bus->address());
    ASSERT_TRUE(authority.ask(1, {::getpid(), 1, 2000, -1}));
    const std::string held = recorded(authority, *bus, "check ");
    ASSERT_FALSE(held.empty());
    authority.cancel(1);
    EXPECT_EQ(recorded(authority, *bus, "cancel "), "cancel " + cancellationOf(held));
    // The fake answered the withdrawn check with an error before it saw this one.
    ASSERT_TRUE(authority.ask(2, {::getpid(), 1, 1000, -1}));
    EXPECT_EQ(driveUntil(authority, 1), (Results{{2, true}}));
    ASSERT_TRUE(authority.ask(3, {::getpid(), 1, 2000, -1}));
    drive(
        authority, [&](const Results&) { return bus->record().size() == 4; }, 10);
    bus.reset();
    EXPECT_EQ(driveUntil(authority, 1), (Results{{3, false}}));
    EXPECT_EQ(authority.pollEntry().fd, -1);
}

} // namespace
