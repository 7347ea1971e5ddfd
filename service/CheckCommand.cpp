#include "CheckCommand.h"

#include "ConfigurationSafety.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>

namespace korvel::service {
namespace {

// Reads up to `limit` bytes from `fd`; nullopt with errno set on failure.
std::optional<std::string> readUpTo(int fd, std::size_t limit) {
    std::string text(limit, '\0');
    std::size_t length = 0;
    while (length < limit) {
        const ssize_t count = ::read(fd, text.data() + length, limit - length);
        if (count == 0) {
            break;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        length += static_cast<std::size_t>(count);
    }
    text.resize(length);
    return text;
}

} // namespace

int runCheckCommand(std::string_view path, std::ostream& out, std::ostream& err) {
    const bool standardInput = path == "-";
    const std::string pathText(path);
    const int fd = standardInput ? STDIN_FILENO : ::open(pathText.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    std::optional<std::string> text;
    if (fd >= 0) {
        text = readUpTo(fd, kMaxConfigurationBytes + 1);
    }
    const int readError = errno;
    if (fd >= 0 && !standardInput) {
        ::close(fd);
    }
    if (!text) {
        err << "korvel-tunneld: cannot read " << (standardInput ? "standard input" : pathText) << ": "
            << std::strerror(readError) << '\n';
        return kCheckUnreadable;
    }
    const bool safe = configurationIsSafe(*text);
    out << (safe ? "safe" : "unsafe") << '\n';
    return safe ? kCheckSafe : kCheckUnsafe;
}

} // namespace korvel::service
