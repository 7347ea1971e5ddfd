#include "PeerProcessFacts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

using namespace korvel::service;

namespace {

const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();
const IdentityTable kTable{{kSelf, "korvel.app"}};

// Admission has pinned the caller, a forked copy of this test; then it exits and a new copy of this
// program gets its pid. The pid now names a process that would pass, but it is not the caller.
TEST(PeerProcessFacts, AHandedOnPidIsNotTheCaller) {
    std::ofstream lastPid("/proc/sys/kernel/ns_last_pid");
    if (::geteuid() != 0 || !lastPid) {
        GTEST_SKIP() << "needs root to choose the next pid through /proc/sys/kernel/ns_last_pid";
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ("korvel-peer-" + std::to_string(::getpid())).copy(address.sun_path + 1, sizeof address.sun_path - 2);
    const auto* name = reinterpret_cast<const sockaddr*>(&address);
    const UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_EQ(::bind(listening.get(), name, sizeof address) | ::listen(listening.get(), 1), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::connect(::socket(AF_UNIX, SOCK_STREAM, 0), name, sizeof address);
        ::_exit(0);
    }
    const UniqueFd connection(::accept(listening.get(), nullptr, nullptr));
    PeerProcessFacts facts(connection.get(), kTable);
    ::waitpid(pid, nullptr, 0);
    lastPid << pid - 1 << std::flush;
    const pid_t successor = ::fork();
    if (successor == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::optional<FileIdentity> running = facts.callerExecutable();
    ::kill(successor, SIGKILL);
    ::waitpid(successor, nullptr, 0);
    if (successor != pid) {
        GTEST_SKIP() << "another process took the pid first";
    }
    EXPECT_EQ(running, std::nullopt);
}

} // namespace
