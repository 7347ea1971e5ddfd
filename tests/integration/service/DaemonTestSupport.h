#pragma once

#include "TemporaryDirectory.h"
#include "UniqueFd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// What the daemon's tests share: the test program as the admitted client, requests, and a tools folder.
namespace korvel::test {

inline const std::string kSelf = std::filesystem::read_symlink("/proc/self/exe").string();
inline const std::string kDisconnect = std::string(R"({"method":"korvel.tunneld.Disconnect"})") + '\0';

// Why the daemon would admit nothing from this test program, or "" when it admits it.
inline std::string admissionSkipReason() {
    struct stat self {};
    if (::geteuid() != 0 || ::stat(kSelf.c_str(), &self) != 0 || (self.st_mode & 022) != 0) {
        return "needs root, and a test program only root may change: the daemon admits nothing else";
    }
    return {};
}

// Field 22 of /proc/<pid>/stat: when the process started, in clock ticks after boot.
inline std::uint64_t startTimeOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text(std::istreambuf_iterator<char>(stat), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22; ++i) {
        fields >> field;
    }
    return std::stoull(field);
}

inline std::string connectRequest(const std::string& config) {
    return nlohmann::json{{"method", "korvel.tunneld.Connect"}, {"parameters", {{"config", config}}}}.dump() +
           '\0';
}

inline void waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A connection that has sent `request`.
inline service::UniqueFd dial(const std::string& path, std::string_view request = {}) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    service::UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const timeval patience{5, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    EXPECT_EQ(::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
    return fd;
}

// The reply as "ok", its message or "error NAME"; nullopt when the daemon closes the connection without
// one, and "silence" when it neither answers nor closes in time.
inline std::optional<std::string> reply(int fd) {
    std::string bytes;
    std::array<char, 4096> chunk{};
    while (bytes.find('\0') == std::string::npos) {
        const ssize_t count = ::recv(fd, chunk.data(), chunk.size(), 0);
        if (count > 0) {
            bytes.append(chunk.data(), static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EAGAIN) {
            return "silence";
        } else if (count == 0 || errno != EINTR) {
            return std::nullopt;
        }
    }
    const auto message = nlohmann::json::parse(bytes.substr(0, bytes.find('\0')));
    if (message.contains("error")) {
        return "error " + message["error"].get<std::string>();
    }
    return message.at("parameters").value("message", "ok");
}

// A tools folder of bash and a wg-quick made of `body`, in which `log` and `go` name files in `directory`.
inline void installTool(const TemporaryDirectory& directory, const std::string& body,
                        std::filesystem::perms mode = std::filesystem::perms(0755)) {
    const std::filesystem::path tools = directory.path() / "tools";
    if (std::filesystem::create_directory(tools)) {
        std::filesystem::create_symlink("/bin/bash", tools / "bash");
    }
    std::ofstream(tools / "wg-quick") << "#!/bin/bash\nlog=" << directory / "log"
                                      << "\ngo=" << directory / "go"
                                      << "\n"
                                      << body;
    std::filesystem::permissions(tools / "wg-quick", mode);
}

} // namespace korvel::test
