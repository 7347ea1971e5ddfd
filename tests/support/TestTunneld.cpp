// korvel-test-tunneld: the real daemon in the foreground on a socket, state folder and tools folder of
// the caller's choosing, admitting only the program CLIENT (as the installed application). Ends on
// SIGTERM or SIGINT. As root it sheds capabilities as the installed daemon does. For tests and
// benchmarks; never installed.
#include "ListeningSocket.h"
#include "ServiceConstants.h"
#include "StopSignal.h"
#include "ToolCapabilities.h"
#include "TunnelDaemon.h"

#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <system_error>
#include <unistd.h>

using namespace korvel::service;
namespace fs = std::filesystem;

int main(int argc, char* argv[]) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) {
        options[argv[i]] = argv[i + 1];
    }
    if (argc != 9 || options.size() != 4 || !options.contains("--socket") ||
        !options.contains("--state-dir") || !options.contains("--tools-dir") ||
        !options.contains("--client")) {
        std::cerr
            << "Usage: korvel-test-tunneld --socket PATH --state-dir DIR --tools-dir DIR --client EXE\n";
        return 2;
    }
    // The tools get absolute paths only: bash would look for a bare script name in its working folder.
    const auto absolute = [&](const char* name) { return fs::absolute(options[name]).lexically_normal(); };
    try {
        // As root, the tools run with the capabilities the installed daemon gives them.
        if (const std::string failed = ::geteuid() == 0 ? lockDownCapabilities() : ""; !failed.empty()) {
            throw std::system_error(std::error_code(), failed);
        }
        // Admission compares the canonical path the kernel reports for the caller.
        const std::string client = fs::canonical(options["--client"]).string();
        const StopSignal stop;
        const ListeningSocket socket = ListeningSocket::bound(options["--socket"]);
        const IdentityTable identities = {
            {client, std::string(clientBundleIdentifier)},
            {fs::read_symlink("/proc/self/exe"), std::string(daemonIdentifier)}};
        TunnelDaemon(socket.fd(),
                     DaemonSettings{absolute("--state-dir"), absolute("--tools-dir"),
                                    std::string(interfaceName), client, identities, requestTimeout, ""})
            .run(stop.fd());
    } catch (const std::system_error& error) {
        std::cerr << "korvel-test-tunneld: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
