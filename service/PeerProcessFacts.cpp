#include "PeerProcessFacts.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvel::service {
namespace {

// SO_PEERPIDFD (Linux 6.5); Debian 12's headers predate it.
constexpr int kPeerPidfdOption = 77;

// Follows links, and /proc/<pid>/exe leads to the running file itself, even when it was deleted or lives
// in another mount namespace.
std::optional<FileIdentity> identityOfFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return FileIdentity{status.st_dev, status.st_ino};
}

// Field 22 of /proc/<pid>/stat. The command name (field 2) may hold spaces and parentheses, so
// counting starts after its last ')'.
std::optional<std::uint64_t> startTimeIn(std::string_view stat) {
    const std::size_t name = stat.rfind(')');
    if (name == std::string_view::npos) {
        return std::nullopt;
    }
    stat.remove_prefix(name + 1);
    for (int field = 2; field < 22; ++field) {
        const std::size_t space = stat.find(' ');
        if (space == std::string_view::npos) {
            return std::nullopt;
        }
        stat.remove_prefix(space + 1);
    }
    std::uint64_t ticks = 0;
    const auto [end, error] = std::from_chars(stat.data(), stat.data() + stat.size(), ticks);
    if (error != std::errc() || end == stat.data() || (end != stat.data() + stat.size() && *end != ' ')) {
        return std::nullopt;
    }
    return ticks;
}

} // namespace

PeerProcessFacts::PeerProcessFacts(int connection, const IdentityTable& identities)
    : identities_(identities) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.pid <= 0) {
        return;
    }
    int pidfd = -1;
    length = sizeof pidfd;
    if (::getsockopt(connection, SOL_SOCKET, kPeerPidfdOption, &pidfd, &length) != 0 &&
        errno == ENOPROTOOPT) {
        // Kernels without SO_PEERPIDFD: pin right after accept. A caller that exited and had its pid
        // reused before this line goes unnoticed there.
        // Through syscall(): glibc 2.36 declares pidfd_open() without C linkage for C++.
        pidfd = static_cast<int>(::syscall(SYS_pidfd_open, credentials.pid, 0));
    }
    if (pidfd >= 0) {
        pid_ = credentials.pid;
        uid_ = credentials.uid;
        pidfd_ = UniqueFd(pidfd);
    }
}

std::optional<SigningIdentity> PeerProcessFacts::callerIdentity() {
    const std::optional<FileIdentity> running = callerExecutable();
    if (!running) {
        return std::nullopt;
    }
    return identityOf(running);
}

std::optional<SigningIdentity> PeerProcessFacts::ownIdentity() {
    return identityOf(identityOfFile("/proc/self/exe"));
}

std::optional<FileIdentity> PeerProcessFacts::callerExecutable() {
    if (!running_) {
        std::optional<FileIdentity> running;
        if (pidfd_) {
            running = identityOfFile("/proc/" + std::to_string(pid_) + "/exe");
        }
        running_ = running && callerIsAlive() ? running : std::nullopt;
    }
    return *running_;
}

std::optional<FileAttributes> PeerProcessFacts::attributesOfItem(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileAttributes{status.st_uid, status.st_mode & 07777, {status.st_dev, status.st_ino}};
}

std::optional<std::uint64_t> PeerProcessFacts::callerStartTime() const {
    if (!pidfd_) {
        return std::nullopt;
    }
    const UniqueFd file(::open(("/proc/" + std::to_string(pid_) + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    std::array<char, 1024> buffer{};
    const ssize_t length = file ? ::read(file.get(), buffer.data(), buffer.size()) : -1;
    if (length <= 0 || !callerIsAlive()) {
        return std::nullopt;
    }
    return startTimeIn(std::string_view(buffer.data(), static_cast<std::size_t>(length)));
}

// A program in the table is known by the file installed at its path, never by the path text.
SigningIdentity PeerProcessFacts::identityOf(const std::optional<FileIdentity>& running) {
    for (const auto& [path, identifier] : identities_) {
        const std::optional<FileAttributes> installed = attributesOfItem(path);
        if (running && installed && installed->identity == *running) {
            return {identifier, std::nullopt};
        }
    }
    return {};
}

// A pidfd polls readable once its process has exited.
bool PeerProcessFacts::callerIsAlive() const {
    pollfd watch{pidfd_.get(), POLLIN, 0};
    return ::poll(&watch, 1, 0) == 0;
}

} // namespace korvel::service
