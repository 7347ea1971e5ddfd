#include "PeerProcessFacts.h"

#include "ListeningSocket.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

using korvel::service::IdentityTable;
using korvel::service::ListeningSocket;
using korvel::service::PeerProcessFacts;
using korvel::service::UniqueFd;

namespace {

enum class Peer { staysAlive, exitsUnreaped, exitsReaped };

// A forked copy of this test connects to a socket; the returned connection is the accepted end.
class Caller {
public:
    Caller(const std::string& socketPath, Peer peer) {
        const ListeningSocket listening = ListeningSocket::bound(socketPath);
        pid_ = ::fork();
        if (pid_ == 0) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
            if (peer == Peer::staysAlive) {
                ::pause();
            }
            ::_exit(0);
        }
        if (peer != Peer::staysAlive) {
            siginfo_t info{};
            ::waitid(P_PID, static_cast<id_t>(pid_), &info,
                     WEXITED | (peer == Peer::exitsUnreaped ? WNOWAIT : 0));
            reaped_ = peer == Peer::exitsReaped;
        }
        pollfd ready{listening.fd(), POLLIN, 0};
        ::poll(&ready, 1, 5000);
        connection_ = UniqueFd(::accept(listening.fd(), nullptr, nullptr));
    }
    ~Caller() {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // After this the pid may belong to anyone.
    void reap() {
        ::waitpid(pid_, nullptr, 0);
        reaped_ = true;
    }
    int connection() const { return connection_.get(); }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
    bool reaped_ = false;
    UniqueFd connection_;
};

const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();
const IdentityTable kTable{{kSelf, "korvel.app"}};

TEST(PeerProcessFacts, ReadsALiveCallersExecutable) {
    const korvel::test::TemporaryDirectory directory;
    const Caller caller(directory / "s", Peer::staysAlive);
    PeerProcessFacts facts(caller.connection(), kTable);
    EXPECT_EQ(facts.callerExecutablePath(), kSelf);
    ASSERT_TRUE(facts.callerIdentity());
    EXPECT_EQ(facts.callerIdentity()->identifier, "korvel.app");
    EXPECT_EQ(facts.callerIdentity()->team, std::nullopt);
    // This process is the caller's copy, so the daemon side finds the same identity for itself.
    ASSERT_TRUE(facts.ownIdentity());
    EXPECT_EQ(facts.ownIdentity()->identifier, "korvel.app");
}

TEST(PeerProcessFacts, KnowsNothingOfACallerThatHasExited) {
    for (const Peer peer : {Peer::exitsUnreaped, Peer::exitsReaped}) {
        const korvel::test::TemporaryDirectory directory;
        const Caller caller(directory / "s", peer);
        PeerProcessFacts facts(caller.connection(), kTable);
        EXPECT_EQ(facts.callerExecutablePath(), std::nullopt);
        EXPECT_EQ(facts.callerIdentity(), std::nullopt);
    }
}

// Admission has pinned the caller; then it exits and a new copy of this program gets its pid. The pid
// now names a process that would pass, but it is not the caller.
TEST(PeerProcessFacts, AHandedOnPidIsNotTheCaller) {
    const korvel::test::TemporaryDirectory directory;
    std::ofstream lastPid("/proc/sys/kernel/ns_last_pid");
    if (::geteuid() != 0 || !lastPid) {
        GTEST_SKIP() << "needs root to choose the next pid through /proc/sys/kernel/ns_last_pid";
    }
    Caller caller(directory / "s", Peer::exitsUnreaped);
    PeerProcessFacts facts(caller.connection(), kTable);
    caller.reap();
    lastPid << caller.pid() - 1 << std::flush;
    const pid_t successor = ::fork();
    if (successor == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::optional<std::string> path = facts.callerExecutablePath();
    ::kill(successor, SIGKILL);
    ::waitpid(successor, nullptr, 0);
    if (successor != caller.pid()) {
        GTEST_SKIP() << "another process took the pid first";
    }
    EXPECT_EQ(path, std::nullopt);
}

TEST(PeerProcessFacts, UnknownProgramsHaveNoIdentifier) {
    const korvel::test::TemporaryDirectory directory;
    const Caller caller(directory / "s", Peer::staysAlive);
    PeerProcessFacts facts(caller.connection(), IdentityTable{{"/opt/korvel/bin/korvel", "korvel.app"}});
    ASSERT_TRUE(facts.callerIdentity());
    EXPECT_EQ(facts.callerIdentity()->identifier, std::nullopt);
}

TEST(PeerProcessFacts, ReadsOwnerAndPermissions) {
    const korvel::test::TemporaryDirectory directory;
    std::ofstream(directory / "program") << "x";
    ::chmod((directory / "program").c_str(), 0775);
    PeerProcessFacts facts(-1, kTable);
    const auto attributes = facts.attributesOfItem(directory / "program");
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->owner, ::geteuid());
    EXPECT_EQ(attributes->permissions, 0775u);
    EXPECT_EQ(facts.attributesOfItem(directory / "missing"), std::nullopt);
    EXPECT_EQ(facts.callerIdentity(), std::nullopt);
}

} // namespace
