// korvel-bench-admission: how long an admitted request waits while four processes open and close
// connections that the daemon turns away, as fast as they can, against the same request without them;
// then what the daemon holds after that flood and a crowd of admitted clients that stall, vanish halfway
// through a request or right after one, against what it held before. Starts korvel-test-tunneld
// admitting this program; needs root, as admission does. Prints two rows of the benchmark table.
#include "TestDaemonProcess.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRequests = 300;
constexpr int kFlooders = 4;
constexpr double kGoalMilliseconds = 100;

pid_t spawn(std::vector<std::string> arguments) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// One disconnect, from connecting to the end of the reply, in milliseconds; negative when unanswered.
double roundTrip(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    static const std::string request = std::string(R"({"method":"korvel.tunneld.Disconnect"})") + '\0';
    const Clock::time_point start = Clock::now();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::array<char, 256> reply{};
    const bool answered =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size()) &&
        ::recv(fd, reply.data(), reply.size(), MSG_WAITALL) > 0;
    ::close(fd);
    return answered ? std::chrono::duration<double, std::milli>(Clock::now() - start).count() : -1;
}

// Percentile `p` of `samples` (sorted here); negative when any request went unanswered.
double percentile(std::vector<double> samples, double p) {
    std::sort(samples.begin(), samples.end());
    if (samples.front() < 0) {
        return -1;
    }
    return samples[static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1))];
}

// What the daemon holds: resident KiB and open descriptors.
std::pair<long, long> holdings(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long resident = -1;
    for (std::string line; std::getline(status, line);) {
        resident = line.starts_with("VmRSS:") ? std::stol(line.substr(6)) : resident;
    }
    const fs::directory_iterator descriptors("/proc/" + std::to_string(pid) + "/fd");
    return {resident, std::distance(begin(descriptors), end(descriptors))};
}

// `clients` threads of `requests` connects each, every fifth sent halfway and dropped, every fifth
// dropped right after being sent, the rest waited for; and 8 connections that stall throughout.
void crowd(const std::string& socketPath, int clients, int requests) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const auto dial = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        return fd;
    };
    std::vector<int> stalled;
    for (int i = 0; i < 8; ++i) {
        stalled.push_back(dial());
    }
    const std::string request = std::string(R"({"method":"korvel.tunneld.Connect","parameters":{"config":)") +
                                R"("[Interface]\nMTU = 1420\n[Peer]\n"}})" + '\0';
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, requests] {
            for (int sequence = 0; sequence < requests; ++sequence) {
                const int fd = dial();
                const std::size_t size = sequence % 5 == 2 ? request.size() / 2 : request.size();
                ::send(fd, request.data(), size, MSG_NOSIGNAL);
                std::array<char, 256> reply{};
                if (sequence % 5 != 2 && sequence % 5 != 4) {
                    ::recv(fd, reply.data(), reply.size(), MSG_WAITALL);
                }
                ::close(fd);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const int fd : stalled) {
        ::close(fd);
    }
}

std::vector<double> measure(const std::string& socketPath) {
    std::vector<double> samples;
    for (int i = 0; i < kRequests; ++i) {
        samples.push_back(roundTrip(socketPath));
    }
    return samples;
}

} // namespace

int main() {
    const std::string measure_ = "Admitted request while 4 processes flood refused connections (p95)";
    if (::geteuid() != 0) {
        std::printf("| %s | skipped: needs root (the daemon admits only root's programs) | | | | |\n",
                    measure_.c_str());
        return 0;
    }
    char pattern[] = "/tmp/korvel-bench-admission-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    fs::create_directory(work / "tools");
    std::vector<double> quiet;
    std::vector<double> flooded;
    std::pair<long, long> before;
    std::pair<long, long> after;
    {
        const TestDaemonProcess daemon(work);
        // A small crowd first, so that what the daemon allocates once is in place before measuring.
        crowd(daemon.socketPath(), 4, 5);
        quiet = measure(daemon.socketPath());
        before = holdings(daemon.pid());
        std::vector<pid_t> flooders;
        for (int i = 0; i < kFlooders; ++i) {
            flooders.push_back(spawn({KORVEL_TEST_CLIENT, "--socket", daemon.socketPath(), "flood"}));
        }
        // Measured once every flooder runs the client, not while they are still starting.
        for (const pid_t pid : flooders) {
            std::error_code starting;
            while (!fs::equivalent("/proc/" + std::to_string(pid) + "/exe", KORVEL_TEST_CLIENT, starting)) {
                ::usleep(1000);
            }
        }
        flooded = measure(daemon.socketPath());
        crowd(daemon.socketPath(), 20, 10);
        for (const pid_t pid : flooders) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        // Stalled connections are dropped at the request timeout.
        for (int i = 0; i < 300 && holdings(daemon.pid()).second != before.second; ++i) {
            ::usleep(10000);
        }
        after = holdings(daemon.pid());
    }
    fs::remove_all(work);

    const long growth = after.first - before.first;
    std::printf(
        "| Daemon growth after the flood and a crowd of 200 connects, stalled and vanishing clients | "
        "%+ld KiB, %+ld descriptors | before: %.1f MiB, %ld descriptors | | ≤ 256 KiB, ±0 | %s |\n",
        growth, after.second - before.second, static_cast<double>(before.first) / 1024, before.second,
        growth <= 256 && after.second == before.second ? "yes" : "**no**");
    const double withFlood = percentile(flooded, 0.95);
    const double without = percentile(quiet, 0.95);
    if (withFlood < 0 || without < 0) {
        std::printf("| %s | some requests went unanswered | | | < %.0f ms | **no** |\n", measure_.c_str(),
                    kGoalMilliseconds);
        return 1;
    }
    std::printf(
        "| %s | %.2f ms (median %.2f ms) | without the flood: %.2f ms (median %.2f ms) | x%.1f | < %.0f ms "
        "| %s |\n",
        measure_.c_str(), withFlood, percentile(flooded, 0.5), without, percentile(quiet, 0.5),
        withFlood / without, kGoalMilliseconds, withFlood < kGoalMilliseconds ? "yes" : "**no**");
    return 0;
}
