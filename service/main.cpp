#include "CheckCommand.h"

#include <iostream>
#include <string_view>

namespace {

constexpr std::string_view kUsage =
    "Usage: korvel-tunneld --check FILE\n"
    "       korvel-tunneld --help\n"
    "\n"
    "  --check FILE  judge the WireGuard configuration in FILE (\"-\" reads standard\n"
    "                input); prints \"safe\" and exits 0, or \"unsafe\" and exits 1;\n"
    "                exits 2 when FILE cannot be read\n"
    "  --help        print this text\n";

} // namespace

int main(int argc, char* argv[]) {
    const std::string_view option = argc > 1 ? argv[1] : "";
    if (argc == 2 && option == "--help") {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 3 && option == "--check") {
        return korvel::service::runCheckCommand(argv[2], std::cout, std::cerr);
    }
    std::cerr << kUsage;
    return 2;
}
