#include "PeerProcessFacts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <utility>

using namespace korvel::service;

namespace {

const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();
const IdentityTable kTable{{kSelf, "korvel.app"}};

// A forked copy of this test that has connected to this process and exited at once, holding its pid as a
// zombie until reaped.
struct Caller {
    Caller() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ("korvel-peer-" + std::to_string(::getpid())).copy(address.sun_path + 1, sizeof address.sun_path - 2);
        const auto* name = reinterpret_cast<const sockaddr*>(&address);
        const UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ::bind(listening.get(), name, sizeof address);
        ::listen(listening.get(), 1);
        pid = ::fork();
        if (pid == 0) {
            ::connect(::socket(AF_UNIX, SOCK_STREAM, 0), name, sizeof address);
            ::_exit(0);
        }
        connection = UniqueFd(::accept(listening.get(), nullptr, nullptr));
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    }
    ~Caller() {
        if (pid != 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    pid_t pid = 0;
    UniqueFd connection;
};

// Admission has pinned the caller; then it exits and a new copy of this program gets its pid. The pid
// now names a process that would pass, but it is not the caller.
TEST(PeerProcessFacts, AHandedOnPidIsNotTheCaller) {
    std::ofstream lastPid("/proc/sys/kernel/ns_last_pid");
    if (::geteuid() != 0 || !lastPid) {
        GTEST_SKIP() << "needs root to choose the next pid through /proc/sys/kernel/ns_last_pid";
    }
    Caller caller;
    PeerProcessFacts facts(caller.connection.get(), kTable);
    ::waitpid(caller.pid, nullptr, 0);
    const pid_t pid = std::exchange(caller.pid, 0);
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
