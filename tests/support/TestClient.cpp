// korvel-test-client: sends one request to the tunnel daemon the way the application does and prints the
// outcome: "ok" (exit 0), the reply's message (exit 1), or a line on standard error when the daemon gave
// a varlink error or no reply at all (exit 2). For tests and benchmarks; never installed.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using nlohmann::json;

constexpr std::string_view kUsage = "Usage: korvel-test-client --socket PATH connect FILE|-\n"
                                    "       korvel-test-client --socket PATH disconnect\n";

int unanswered(std::string_view why) {
    std::cerr << "korvel-test-client: " << why << '\n';
    return 2;
}

// One request, one reply; the reply ends at its NUL byte or at the end of the connection.
std::optional<std::string> sendRequest(const std::string& socketPath, const std::string& request) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return std::nullopt;
    }
    std::string_view pending(request.data(), request.size() + 1);
    while (!pending.empty()) {
        const ssize_t sent = ::send(fd, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EINTR) {
            ::close(fd);
            return std::nullopt;
        }
        pending.remove_prefix(sent > 0 ? static_cast<std::size_t>(sent) : 0);
    }
    std::string reply;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(count));
        if (reply.find('\0') != std::string::npos) {
            break;
        }
    }
    ::close(fd);
    const std::size_t end = reply.find('\0');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    reply.resize(end);
    return reply;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view command = argc > 3 ? argv[3] : "";
    const bool connect = argc == 5 && command == "connect";
    if (argc < 4 || std::string_view(argv[1]) != "--socket" ||
        !(connect || (argc == 4 && command == "disconnect"))) {
        std::cerr << kUsage;
        return 2;
    }
    json request = {{"method", connect ? "korvel.tunneld.Connect" : "korvel.tunneld.Disconnect"}};
    if (connect) {
        const std::string_view file = argv[4];
        std::ostringstream text;
        if (file == "-") {
            text << std::cin.rdbuf();
        } else {
            std::ifstream input{std::string(file), std::ios::binary};
            if (!input) {
                return unanswered("cannot read " + std::string(file));
            }
            text << input.rdbuf();
        }
        request["parameters"] = {{"config", text.str()}};
    }
    const std::optional<std::string> reply =
        sendRequest(argv[2], request.dump(-1, ' ', false, json::error_handler_t::replace));
    if (!reply) {
        return unanswered("the connection ended without a reply");
    }
    const json document = json::parse(*reply, nullptr, false);
    const auto parameters = document.is_object() ? document.find("parameters") : document.end();
    if (document.contains("error") || parameters == document.end() || !parameters->is_object()) {
        return unanswered("error reply " + *reply);
    }
    const auto message = parameters->find("message");
    if (message == parameters->end()) {
        std::cout << "ok\n";
        return 0;
    }
    std::cout << (message->is_string() ? message->get<std::string>() : message->dump()) << '\n';
    return 1;
}
