// korvel-test-client: sends one request to the tunnel daemon the way the application does and prints the
// outcome: "ok" (exit 0), the reply's message (exit 1), or a line on standard error when the daemon gave
// a varlink error or no reply at all (exit 2). With "flood" it opens and closes connections as fast as it
// can until it is killed. For tests and benchmarks; never installed.
#include <cerrno>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
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

int dial(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view command = argc == 4 || argc == 5 ? argv[3] : "";
    if (argc < 4 || std::string_view(argv[1]) != "--socket" ||
        !((argc == 5 && command == "connect") ||
          (argc == 4 && (command == "disconnect" || command == "flood")))) {
        std::cerr << "Usage: korvel-test-client --socket PATH connect FILE|-|disconnect|flood\n";
        return 2;
    }
    while (command == "flood") {
        ::close(dial(argv[2]));
    }
    json request = {{"method", argc == 5 ? "korvel.tunneld.Connect" : "korvel.tunneld.Disconnect"}};
    if (argc == 5) {
        std::ifstream named(argv[4], std::ios::binary);
        std::istream& input = std::string_view(argv[4]) == "-" ? std::cin : named;
        if (!input) {
            return unanswered(std::string("cannot read ") + argv[4]);
        }
        request["parameters"] = {{"config", std::string(std::istreambuf_iterator<char>(input), {})}};
    }
    // One request, one reply; the reply ends at its NUL byte, and is missing if the connection ends first.
    const std::string message = request.dump(-1, ' ', false, json::error_handler_t::replace) + '\0';
    const int fd = dial(argv[2]);
    // A blocking send on a stream socket sends everything or fails.
    if (fd < 0 ||
        ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) {
        return unanswered("the connection ended without a reply");
    }
    std::string reply;
    char chunk[4096];
    while (reply.find('\0') == std::string::npos) {
        const ssize_t count = ::recv(fd, chunk, sizeof chunk, 0);
        if (count > 0) {
            reply.append(chunk, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return unanswered("the connection ended without a reply");
        }
    }
    reply.resize(reply.find('\0'));
    const json document = json::parse(reply, nullptr, false);
    const json parameters = document.is_object() ? document.value("parameters", json()) : json();
    if (document.contains("error") || !parameters.is_object()) {
        return unanswered("error reply " + reply);
    }
    if (!parameters.contains("message")) {
        std::cout << "ok\n";
        return 0;
    }
    const json& text = parameters["message"];
    std::cout << (text.is_string() ? text.get<std::string>() : text.dump()) << '\n';
    return 1;
}
