#include "PeerProcessFacts.h"

#include <array>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace korvel::service {
namespace {

// SO_PEERPIDFD (Linux 6.5); Debian 12's headers predate it.
constexpr int kPeerPidfdOption = 77;

std::optional<std::string> readLink(const std::string& path) {
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 1 || static_cast<std::size_t>(length) >= buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
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
        pidfd_ = UniqueFd(pidfd);
    }
}

std::optional<SigningIdentity> PeerProcessFacts::callerIdentity() {
    const std::optional<std::string> path = callerExecutablePath();
    if (!path) {
        return std::nullopt;
    }
    return identityOf(*path);
}

std::optional<SigningIdentity> PeerProcessFacts::ownIdentity() {
    const std::optional<std::string> path = readLink("/proc/self/exe");
    if (!path) {
        return std::nullopt;
    }
    return identityOf(*path);
}

std::optional<std::string> PeerProcessFacts::callerExecutablePath() {
    if (!pidfd_) {
        return std::nullopt;
    }
    std::optional<std::string> path = readLink("/proc/" + std::to_string(pid_) + "/exe");
    if (!path || !callerIsAlive()) {
        return std::nullopt;
    }
    return path;
}

std::optional<FileAttributes> PeerProcessFacts::attributesOfItem(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileAttributes{status.st_uid, status.st_mode & 07777};
}

SigningIdentity PeerProcessFacts::identityOf(const std::string& path) const {
    const auto entry = identities_.find(path);
    if (entry == identities_.end()) {
        return {};
    }
    return {entry->second, std::nullopt};
}

// A pidfd polls readable once its process has exited.
bool PeerProcessFacts::callerIsAlive() const {
    pollfd watch{pidfd_.get(), POLLIN, 0};
    return ::poll(&watch, 1, 0) == 0;
}

} // namespace korvel::service
