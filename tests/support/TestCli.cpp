// korvel-test-cli: korvel's command line with the tunnel daemon's socket, the file whose presence
// says the daemon is installed, and the WireGuard marker folder taken from KORVEL_TEST_SOCKET,
// KORVEL_TEST_SERVICE_DEFINITION and KORVEL_TEST_MARKER_DIR. The web API comes from KORVEL_API as in
// korvel itself. For tests; never installed.
#include "CliProgram.h"

#include <memory>

int main(int argc, char* argv[]) {
    korvel::model::AppModelOptions options;
    options.serviceDefinitionPath = qEnvironmentVariable("KORVEL_TEST_SERVICE_DEFINITION");
    options.tunnel = std::make_unique<korvel::tunnel::TunnelController>(
        options.serviceDefinitionPath, qEnvironmentVariable("KORVEL_TEST_SOCKET"),
        qEnvironmentVariable("KORVEL_TEST_MARKER_DIR"));
    return korvel::cli::CliProgram::run(argc, argv, std::move(options));
}
