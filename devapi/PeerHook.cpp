#include "PeerHook.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace korvel::devapi {

PeerHook::PeerHook(std::string program) : program_(std::move(program)) {
    if (program_.empty() || program_.front() != '/') {
        throw std::invalid_argument("the hook must be given by absolute path");
    }
}

bool PeerHook::run(const std::string& publicKey, const std::string& address,
                   const std::string& hostname) const {
    std::vector<std::string> arguments{program_, publicKey, address, hostname};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program_.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace korvel::devapi
