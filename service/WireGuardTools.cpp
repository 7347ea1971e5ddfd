#include "WireGuardTools.h"

#include "ToolMessage.h"
#include "UniqueFd.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <utility>
#include <vector>

namespace korvel::service {
namespace {

// The message is the last line; keeping this much of the end of the error output is plenty.
constexpr std::size_t kKeptErrorBytes = 16 * 1024;

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0111) != 0;
}

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// The read end does not block; the write end, which the tool gets, does.
std::optional<Pipe> makePipe() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    if (::fcntl(ends[0], F_SETFL, O_NONBLOCK) != 0) {
        return std::nullopt;
    }
    return pipe;
}

void keepTail(std::string& kept, std::string_view bytes) {
    kept.append(bytes);
    if (kept.size() > 2 * kKeptErrorBytes) {
        std::size_t cut = kept.size() - kKeptErrorBytes;
        while (cut < kept.size() && (static_cast<unsigned char>(kept[cut]) & 0xC0) == 0x80) {
            ++cut;
        }
        kept.erase(0, cut);
    }
}

// Reads what is there now; false once the pipe is closed or broken.
bool drain(int fd, std::string* kept) {
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t count = ::read(fd, chunk.data(), chunk.size());
        if (count > 0) {
            if (kept != nullptr) {
                keepTail(*kept, std::string_view(chunk.data(), static_cast<std::size_t>(count)));
            }
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        return count < 0 && errno == EAGAIN;
    }
}

struct ToolRun {
    // Stays a failure when the exit status cannot be collected.
    int status = -1;
    std::string errors;
};

class SpawnSettings {
public:
    SpawnSettings() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
};

// Runs `arguments[0]` with exactly `environment`, standard input from /dev/null, and reads both outputs
// while it runs so a talkative tool never stalls on a full pipe. Waits without a time limit.
std::optional<ToolRun> runTool(std::vector<std::string> arguments, std::vector<std::string> environment) {
    std::optional<Pipe> output = makePipe();
    std::optional<Pipe> errors = makePipe();
    if (!output || !errors) {
        return std::nullopt;
    }
    SpawnSettings settings;
    ::posix_spawn_file_actions_addopen(&settings.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&settings.actions, output->write.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&settings.actions, errors->write.get(), STDERR_FILENO);
    // The daemon blocks its stop signals; the tool starts with a clean slate.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&settings.attributes, &none);
    ::posix_spawnattr_setsigdefault(&settings.attributes, &all);
    ::posix_spawnattr_setflags(&settings.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], &settings.actions, &settings.attributes, argv.data(), envp.data()) !=
        0) {
        return std::nullopt;
    }
    output->write.reset();
    errors->write.reset();

    // A process the tool leaves behind may hold the pipes open, so the tool's own exit ends the reading.
    // Through syscall(): glibc 2.36 declares pidfd_open() without C linkage for C++.
    const UniqueFd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    ToolRun run;
    bool outputOpen = true;
    bool errorsOpen = true;
    while (outputOpen || errorsOpen) {
        std::array<pollfd, 3> watched{{{outputOpen ? output->read.get() : -1, POLLIN, 0},
                                       {errorsOpen ? errors->read.get() : -1, POLLIN, 0},
                                       {exited.get(), POLLIN, 0}}};
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        const bool gone = watched[2].revents != 0;
        if (outputOpen && (watched[0].revents != 0 || gone)) {
            outputOpen = drain(output->read.get(), nullptr) && !gone;
        }
        if (errorsOpen && (watched[1].revents != 0 || gone)) {
            errorsOpen = drain(errors->read.get(), &run.errors) && !gone;
        }
        if (gone) {
            break;
        }
    }
    while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

} // namespace

WireGuardTools::WireGuardTools(std::string toolsDirectory, std::string configurationPath,
                               std::string interfaceName)
    : toolsDirectory_(std::move(toolsDirectory)), configurationPath_(std::move(configurationPath)),
      interfaceName_(std::move(interfaceName)) {}

std::optional<ServiceError> WireGuardTools::runWireGuard(std::string_view operation) {
    if (operation != "up" && operation != "down") {
        return ServiceError{"Unsupported tunnel operation."};
    }
    const std::string shell = toolsDirectory_ + "/bash";
    const std::string script = toolsDirectory_ + "/wg-quick";
    if (!isExecutableFile(shell) || !isExecutableFile(script)) {
        return ServiceError{"Korvel's tunnel tools are missing. Reinstall Korvel."};
    }
    const std::optional<ToolRun> run =
        runTool({shell, script, std::string(operation), configurationPath_},
                {"PATH=" + toolsDirectory_ + ":/usr/bin:/bin:/usr/sbin:/sbin", "HOME=/root", "LANG=C"});
    if (!run) {
        return ServiceError{"The tunnel component could not be launched."};
    }
    if (WIFEXITED(run->status) && WEXITSTATUS(run->status) == 0) {
        return std::nullopt;
    }
    std::string message = toolMessage(run->errors);
    if (message.empty()) {
        message = "The tunnel operation failed.";
    }
    return ServiceError{std::move(message)};
}

bool WireGuardTools::interfaceIsPresent() { return ::if_nametoindex(interfaceName_.c_str()) != 0; }

} // namespace korvel::service
