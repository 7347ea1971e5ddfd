// korvel-test-client: sends one request to the tunnel daemon the way the application does and prints the
// outcome: "ok" (exit 0), the reply's message (exit 1), or a line on standard error when the daemon gave
// a varlink error or no reply at all (exit 2). With "flood" it opens and closes connections as fast as it
// can until it is killed. For tests and benchmarks; never installed.
#include <algorithm>
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

int dial(const char* socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string_view(socketPath).copy(address.sun_path, sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

} // namespace

int main(int argc, char* argv[]) {
    using nlohmann::json;
    const std::string_view command = argc > 3 ? argv[3] : "";
    if (argc < 4 || std::string_view(argv[1]) != "--socket" || (command == "connect") != (argc == 5) ||
        (argc == 4 && command != "disconnect" && command != "flood")) {
        std::cerr << "Usage: korvel-test-client --socket PATH connect FILE|disconnect|flood\n";
        return 2;
    }
    while (command == "flood") {
        ::close(dial(argv[2]));
    }
    json request = {{"method", argc == 5 ? "korvel.tunneld.Connect" : "korvel.tunneld.Disconnect"}};
    if (std::ifstream input(argc == 5 ? argv[4] : "/dev/null", std::ios::binary); argc == 5) {
        request["parameters"] = {{"config", std::string(std::istreambuf_iterator<char>(input), {})}};
    }
    // One request, one reply; the reply ends at its NUL byte, and is missing if the connection ends first.
    // A blocking send on a stream socket sends everything or fails.
    const std::string message = request.dump(-1, ' ', false, json::error_handler_t::replace) + '\0';
    const int fd = dial(argv[2]);
    std::string reply;
    char chunk[4096];
    ssize_t count = ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
    while (count == static_cast<ssize_t>(message.size()) && reply.find('\0') == std::string::npos) {
        const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        reply.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        count = got > 0 || (got < 0 && errno == EINTR) ? count : -1;
    }
    if (count < 0) {
        std::cerr << "korvel-test-client: the connection ended without a reply\n";
        return 2;
    }
    reply.resize(reply.find('\0'));
    const json document = json::parse(reply, nullptr, false);
    const json parameters = document.is_object() ? document.value("parameters", json()) : json();
    if (document.contains("error") || !parameters.is_object()) {
        std::cerr << "korvel-test-client: error reply " << reply << '\n';
        return 2;
    }
    const json text = parameters.value("message", json("ok"));
    std::cout << (text.is_string() ? text.get<std::string>() : text.dump()) << '\n';
    return parameters.contains("message") ? 1 : 0;
}
