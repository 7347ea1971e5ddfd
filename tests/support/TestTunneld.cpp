// korvel-test-tunneld: the real daemon in the foreground on a socket, state folder and tools folder of
// the caller's choosing, admitting only the program CLIENT (as the installed application). Ends on
// SIGTERM or SIGINT. For tests and benchmarks; never installed.
#include "ListeningSocket.h"
#include "ServiceConstants.h"
#include "StopSignal.h"
#include "TunnelDaemon.h"

#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <system_error>

namespace {

using namespace korvel::service;

constexpr std::string_view kUsage =
    "Usage: korvel-test-tunneld --socket PATH --state-dir DIR --tools-dir DIR --client EXE\n";

} // namespace

int main(int argc, char* argv[]) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) {
        options[argv[i]] = argv[i + 1];
    }
    const bool complete = options.size() == 4 && options.contains("--socket") &&
                          options.contains("--state-dir") && options.contains("--tools-dir") &&
                          options.contains("--client");
    if (argc != 9 || !complete) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        // Admission compares the canonical path the kernel reports for the caller.
        const std::string client = std::filesystem::canonical(options["--client"]).string();
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        // The tools get absolute paths only: bash would look for a bare script name in its working folder.
        const std::string tools =
            std::filesystem::absolute(options["--tools-dir"]).lexically_normal().string();
        const std::string state =
            std::filesystem::absolute(options["--state-dir"]).lexically_normal().string();
        const StopSignal stop;
        const ListeningSocket socket = ListeningSocket::bound(options["--socket"]);
        TunnelDaemon daemon(socket.fd(), DaemonSettings{
                                             state,
                                             tools,
                                             std::string(interfaceName),
                                             client,
                                             {{client, std::string(clientBundleIdentifier)},
                                              {self, std::string(daemonIdentifier)}},
                                             requestTimeout,
                                         });
        daemon.run(stop.fd());
    } catch (const std::system_error& error) {
        std::cerr << "korvel-test-tunneld: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
