#pragma once

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// korvel-test-tunneld (KORVEL_TEST_TUNNELD) on a socket, state folder and tools folder inside `work`,
// admitting this benchmark program; started at once, stopped when dropped.
class TestDaemonProcess {
public:
    explicit TestDaemonProcess(const std::filesystem::path& work) : socketPath_(work / "socket") {
        const std::string client = std::filesystem::read_symlink("/proc/self/exe");
        const std::string state = work / "state";
        const std::string tools = work / "tools";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(KORVEL_TEST_TUNNELD, KORVEL_TEST_TUNNELD, "--socket", socketPath_.c_str(), "--state-dir",
                    state.c_str(), "--tools-dir", tools.c_str(), "--client", client.c_str(), nullptr);
            ::_exit(127);
        }
        while (!std::filesystem::exists(socketPath_)) {
            ::usleep(1000);
        }
    }
    TestDaemonProcess(const TestDaemonProcess&) = delete;
    TestDaemonProcess& operator=(const TestDaemonProcess&) = delete;
    ~TestDaemonProcess() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    const std::string& socketPath() const { return socketPath_; }
    pid_t pid() const { return pid_; }

private:
    std::string socketPath_;
    pid_t pid_ = 0;
};
