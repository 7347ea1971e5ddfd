#include "ListeningSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <systemd/sd-daemon.h>

namespace korvel::service {
namespace {

// Connections waiting to be accepted. Kept short so that a flood of connections the daemon turns away
// cannot line up thousands ahead of an admitted one: with a full queue, connecting waits its turn.
constexpr int kBacklog = 16;

[[noreturn]] void fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

} // namespace

std::optional<ListeningSocket> ListeningSocket::activated() {
    const int count = ::sd_listen_fds(0);
    if (count == 0) {
        return std::nullopt;
    }
    if (count < 0) {
        fail(-count, "socket activation");
    }
    if (count != 1 || ::sd_is_socket_unix(SD_LISTEN_FDS_START, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        fail(EINVAL, "socket activation: expected one listening Unix stream socket");
    }
    ListeningSocket socket;
    socket.socket_ = UniqueFd(SD_LISTEN_FDS_START);
    const int flags = ::fcntl(socket.fd(), F_GETFL);
    if (flags < 0 || ::fcntl(socket.fd(), F_SETFL, flags | O_NONBLOCK) != 0) {
        fail(errno, "socket activation");
    }
    return socket;
}

ListeningSocket ListeningSocket::bound(const std::string& path) {
    // Bound and listening under a staging name first, then renamed into place: a client never finds
    // the path without a listener behind it, and a stale socket is replaced in one step.
    const std::string staging = path + ".new";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || staging.size() >= sizeof address.sun_path) {
        fail(ENAMETOOLONG, path);
    }
    std::memcpy(address.sun_path, staging.c_str(), staging.size() + 1);

    ListeningSocket socket;
    socket.socket_ = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.socket_) {
        fail(errno, "socket");
    }
    struct stat status {};
    for (const std::string& name : {path, staging}) {
        if (::lstat(name.c_str(), &status) == 0 && !S_ISSOCK(status.st_mode)) {
            fail(EEXIST, name);
        }
    }
    ::unlink(staging.c_str());
    if (::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail(errno, path);
    }
    if (::fchmodat(AT_FDCWD, staging.c_str(), 0666, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::listen(socket.fd(), kBacklog) != 0 || ::rename(staging.c_str(), path.c_str()) != 0 ||
        ::lstat(path.c_str(), &status) != 0) {
        const int error = errno;
        ::unlink(staging.c_str());
        fail(error, path);
    }
    socket.boundPath_ = path;
    socket.boundInode_ = status.st_ino;
    return socket;
}

ListeningSocket::~ListeningSocket() {
    struct stat status {};
    if (!boundPath_.empty() && ::lstat(boundPath_.c_str(), &status) == 0 && status.st_ino == boundInode_) {
        ::unlink(boundPath_.c_str());
    }
}

} // namespace korvel::service
