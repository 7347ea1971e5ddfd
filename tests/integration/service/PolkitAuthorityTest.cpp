#include "PolkitAuthority.h"
#include "PrivateSystemBus.h"
#include "TemporaryDirectory.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>

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

std::uint64_t startTimeOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text(std::istreambuf_iterator<char>(stat), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) {
        fields >> field;
    }
    return std::stoull(field);
}

UniqueFd pidfdOf(pid_t pid) { return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))); }

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

// What the action file says is the file's own business; that polkitd reads it and judges by it is not.
TEST_F(PolkitAuthorityTest, RealPolkitdJudgesByTheInstalledActionFile) {
    if (::geteuid() != 0 || ::access("/usr/lib/polkit-1/polkitd", X_OK) != 0 ||
        std::system("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs root, polkitd (Debian package polkitd) and a mount namespace";
    }
    TemporaryDirectory actions;
    std::filesystem::permissions(actions.path(), std::filesystem::perms(0755));
    std::filesystem::copy_file(KORVEL_POLKIT_ACTION,
                               actions / std::filesystem::path(KORVEL_POLKIT_ACTION).filename().string());
    // polkitd sees our action file in place of the installed ones, in a mount namespace of its own.
    PrivateSystemBus bus("/usr/bin/unshare -m /bin/sh -c \"mount --bind " + actions.path().string() +
                         " /usr/share/polkit-1/actions && exec /usr/lib/polkit-1/polkitd --no-debug\"");
    int dropped[2];
    ASSERT_EQ(::pipe(dropped), 0);
    const pid_t nobody = ::fork();
    if (nobody == 0) {
        const char done = ::setresgid(65534, 65534, 65534) == 0 && ::setresuid(65534, 65534, 65534) == 0;
        if (::write(dropped[1], &done, 1) == 1) {
            ::pause();
        }
        ::_exit(0);
    }
    ::close(dropped[1]);
    char done = 0;
    ASSERT_EQ(::read(dropped[0], &done, 1), 1);
    ::close(dropped[0]);
    ASSERT_TRUE(done);
    const UniqueFd rootPidfd = pidfdOf(::getpid());
    const UniqueFd nobodyPidfd = pidfdOf(nobody);
    PolkitAuthority authority(bus.address());
    ASSERT_TRUE(authority.ask(1, {::getpid(), startTimeOf(::getpid()), 0, rootPidfd.get()}));
    ASSERT_TRUE(authority.ask(2, {nobody, startTimeOf(nobody), 65534, nobodyPidfd.get()}));
    const Results results = driveUntil(authority, 2);
    ::kill(nobody, SIGKILL);
    ::waitpid(nobody, nullptr, 0);
    using Answers = std::map<std::uint64_t, bool>;
    EXPECT_EQ(Answers(results.begin(), results.end()), (Answers{{1, true}, {2, false}}));
}

} // namespace
