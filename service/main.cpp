#include "CheckCommand.h"
#include "ListeningSocket.h"
#include "ServiceConstants.h"
#include "StopSignal.h"
#include "ToolCapabilities.h"
#include "TunnelDaemon.h"

#include <filesystem>
#include <iostream>
#include <string_view>
#include <system_error>

namespace {

using namespace korvel::service;

constexpr std::string_view kUsage =
    "Usage: korvel-tunneld\n"
    "       korvel-tunneld --check FILE\n"
    "       korvel-tunneld --help\n"
    "\n"
    "  (no option)   run the tunnel daemon (as root, normally started by systemd)\n"
    "  --check FILE  judge the WireGuard configuration in FILE (\"-\" reads standard\n"
    "                input); prints \"safe\" and exits 0, or \"unsafe\" and exits 1;\n"
    "                exits 2 when FILE cannot be read\n"
    "  --help        print this text\n";

// The tools folder lies two levels above the daemon's own executable: <prefix>/Resources/wireguard.
std::string toolsDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return (executable.lexically_normal().parent_path().parent_path() / "Resources" / "wireguard").string();
}

int runDaemon() {
    // Fails closed: a daemon that could not shed its capabilities would hand them to every tool.
    if (const std::string failed = lockDownCapabilities(); !failed.empty()) {
        std::cerr << "korvel-tunneld: " << failed << '\n';
        return 1;
    }
    const StopSignal stop;
    std::optional<ListeningSocket> socket = ListeningSocket::activated();
    if (!socket) {
        socket = ListeningSocket::bound(std::string(socketPath));
    }
    TunnelDaemon daemon(socket->fd(),
                        DaemonSettings{
                            std::string(stateDirectory),
                            toolsDirectory(),
                            std::string(interfaceName),
                            std::string(applicationPath),
                            {{std::string(applicationPath), std::string(clientBundleIdentifier)},
                             {std::string(daemonPath), std::string(daemonIdentifier)}},
                            requestTimeout,
                            "",
                        });
    daemon.run(stop.fd());
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view option = argc > 1 ? argv[1] : "";
    if (argc == 1) {
        try {
            return runDaemon();
        } catch (const std::system_error& error) {
            std::cerr << "korvel-tunneld: " << error.what() << '\n';
            return 1;
        }
    }
    if (argc == 2 && option == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 3 && option == "--check") {
        return runCheckCommand(argv[2], std::cout, std::cerr);
    }
    std::cerr << kUsage;
    return 2;
}
