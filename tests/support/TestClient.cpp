// korvel-test-client: sends one request to the tunnel daemon the way the application does and prints the
// outcome: "ok" (exit 0), the reply's message (exit 1), or a line on standard error when the daemon gave
// a varlink error or no reply at all (exit 2). With "flood" it opens and closes connections as fast as it
// can until it is killed. For tests and benchmarks; never installed.
#include <cerrno>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using nlohmann::json;

int unanswered(const std::string& why) {
    std::cerr << "korvel-test-client: " << why << '\n';
    return 2;
}

// One request, one reply; the reply ends at its NUL byte, and is missing if the connection ends first.
std::optional<std::string> ask(const std::string& socketPath, std::string request) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    request += '\0';
    // A blocking send on a stream socket sends everything or fails.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        return std::nullopt;
    }
    std::string reply;
    char chunk[4096];
    while (reply.find('\0') == std::string::npos) {
        const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
        if (count > 0) {
            reply.append(chunk, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return std::nullopt;
        }
    }
    return reply.substr(0, reply.find('\0'));
}

[[noreturn]] void flood(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::close(fd);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view command = argc > 3 ? argv[3] : "";
    const bool connect = argc == 5 && command == "connect";
    if (argc == 4 && std::string_view(argv[1]) == "--socket" && command == "flood") {
        flood(argv[2]);
    }
    if (argc < 4 || std::string_view(argv[1]) != "--socket" ||
        !(connect || (argc == 4 && command == "disconnect"))) {
        std::cerr << "Usage: korvel-test-client --socket PATH connect FILE|-\n"
                     "       korvel-test-client --socket PATH disconnect\n"
                     "       korvel-test-client --socket PATH flood\n";
        return 2;
    }
    json request = {{"method", connect ? "korvel.tunneld.Connect" : "korvel.tunneld.Disconnect"}};
    if (connect) {
        const std::string file = argv[4];
        std::ifstream named(file, std::ios::binary);
        std::istream& input = file == "-" ? std::cin : named;
        if (!input) {
            return unanswered("cannot read " + file);
        }
        request["parameters"] = {{"config", std::string(std::istreambuf_iterator<char>(input), {})}};
    }
    const std::optional<std::string> reply =
        ask(argv[2], request.dump(-1, ' ', false, json::error_handler_t::replace));
    if (!reply) {
        return unanswered("the connection ended without a reply");
    }
    const json document = json::parse(*reply, nullptr, false);
    const json parameters = document.is_object() ? document.value("parameters", json()) : json();
    if (document.contains("error") || !parameters.is_object()) {
        return unanswered("error reply " + *reply);
    }
    if (!parameters.contains("message")) {
        std::cout << "ok\n";
        return 0;
    }
    const json& message = parameters["message"];
    std::cout << (message.is_string() ? message.get<std::string>() : message.dump()) << '\n';
    return 1;
}
