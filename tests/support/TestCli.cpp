// korvel-test-cli: korvel's command line with the tunnel daemon's socket, the file whose presence
// says the daemon is installed, and the WireGuard marker folder taken from KORVEL_TEST_SOCKET,
// KORVEL_TEST_SERVICE_DEFINITION and KORVEL_TEST_MARKER_DIR. The web API comes from KORVEL_API as in
// korvel itself. For tests; never installed.
#include "CliProgram.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char* argv[]) {
    const char* socket = std::getenv("KORVEL_TEST_SOCKET");
    const char* definition = std::getenv("KORVEL_TEST_SERVICE_DEFINITION");
    const char* markers = std::getenv("KORVEL_TEST_MARKER_DIR");
    if (!socket || !definition || !markers) {
        std::fputs("korvel-test-cli: set KORVEL_TEST_SOCKET, KORVEL_TEST_SERVICE_DEFINITION and "
                   "KORVEL_TEST_MARKER_DIR\n",
                   stderr);
        return 2;
    }
    korvel::model::AppModelOptions options;
    options.serviceDefinitionPath = QString::fromLocal8Bit(definition);
    options.tunnel = std::make_unique<korvel::tunnel::TunnelController>(
        options.serviceDefinitionPath, QString::fromLocal8Bit(socket), QString::fromLocal8Bit(markers));
    return korvel::cli::CliProgram::run(argc, argv, std::move(options));
}
