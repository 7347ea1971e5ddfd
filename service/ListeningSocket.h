#pragma once

#include "UniqueFd.h"

#include <optional>
#include <string>
#include <sys/types.h>

namespace korvel::service {

// The daemon's listening Unix socket: the one systemd passed, or one bound here. Failures throw
// std::system_error; they only happen at start.
class ListeningSocket {
public:
    // The socket of socket activation; nullopt when the process was not started that way.
    static std::optional<ListeningSocket> activated();
    // Binds `path` for everyone to connect to (mode 0666), replacing a stale socket left there.
    static ListeningSocket bound(const std::string& path);

    ListeningSocket(ListeningSocket&&) noexcept = default;
    ListeningSocket& operator=(ListeningSocket&&) noexcept = default;
    // Removes the path it bound, unless someone else's socket has taken its place.
    ~ListeningSocket();

    int fd() const { return socket_.get(); }

private:
    ListeningSocket() = default;

    UniqueFd socket_;
    std::string boundPath_;
    ino_t boundInode_ = 0;
};

} // namespace korvel::service
