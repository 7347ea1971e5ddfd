#pragma once

#include "TemporaryDirectory.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace korvel::test {

// A dbus-daemon of the test's own, shaped like the system bus (<type>system</type>, no user switch) and
// allowing everything, with the fake polkit authority korvel-test-polkit (KORVEL_TEST_POLKIT) on it.
// Everything it started is stopped when it is dropped.
class PrivateSystemBus {
public:
    static std::string skipReason() {
        return ::access("/usr/bin/dbus-daemon", X_OK) == 0 ? "" : "needs dbus-daemon (Debian package dbus)";
    }

    // `activatedAuthority`, when given, is an Exec line that the bus runs as org.freedesktop.PolicyKit1
    // on the first call to that name, holding the call until the name is owned.
    explicit PrivateSystemBus(const std::string& activatedAuthority = {}) {
        // polkitd drops to a user of its own before it connects.
        std::filesystem::permissions(directory_.path(), std::filesystem::perms(0755));
        const std::string services = directory_ / "services";
        std::filesystem::create_directory(services);
        std::ofstream(directory_ / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>system</type><listen>unix:path="
            << directory_ / "bus"
            << "</listen><auth>EXTERNAL</auth><servicedir>" << services
            << "</servicedir><policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/></policy>"
               "</busconfig>\n";
        if (!activatedAuthority.empty()) {
            std::ofstream(services + "/org.freedesktop.PolicyKit1.service")
                << "[D-BUS Service]\nName=org.freedesktop.PolicyKit1\nExec=" << activatedAuthority
                << "\nUser=root\n";
        }
        bus_ = start({"/usr/bin/dbus-daemon", "--config-file=" + directory_ / "bus.conf", "--nofork",
                      "--print-address"});
        address_ = readLine(bus_);
    }

    const std::string& address() const { return address_; }
    std::string recordPath() const { return directory_ / "record"; }

    // Starts the fake with `rules` (e.g. {"--allow", "0,1000", "--hold", "2000"}) and returns once it
    // owns its name.
    void startFakeAuthority(const std::vector<std::string>& rules) {
        std::vector<std::string> arguments = {KORVEL_TEST_POLKIT, address_, recordPath()};
        arguments.insert(arguments.end(), rules.begin(), rules.end());
        fake_ = start(arguments);
        if (readLine(fake_) != "ready") {
            throw std::runtime_error("the fake polkit authority did not start");
        }
    }

    // The calls the fake got so far, one line each.
    std::vector<std::string> record() const {
        std::istringstream text(directory_.read("record").value_or(""));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    // A started program and its standard output, stopped when dropped.
    struct Child {
        Child() = default;
        Child(Child&& other) noexcept
            : pid(std::exchange(other.pid, 0)), output(std::exchange(other.output, -1)) {}
        Child& operator=(Child&& other) noexcept {
            std::swap(pid, other.pid);
            std::swap(output, other.output);
            return *this;
        }
        ~Child() {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
                ::close(output);
            }
        }
        pid_t pid = 0;
        int output = -1;
    };

    static Child start(const std::vector<std::string>& arguments) {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
        Child child;
        const int failure = ::posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        child.output = pipe[0];
        if (failure != 0) {
            child.pid = 0;
            ::close(pipe[0]);
            throw std::runtime_error("cannot start " + arguments[0]);
        }
        return child;
    }

    // The child's first line of output; it has 30 seconds for it on a loaded machine.
    static std::string readLine(const Child& child) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string line;
        char byte = 0;
        while (line.empty() || line.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{child.output, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0 ||
                ::read(child.output, &byte, 1) != 1) {
                throw std::runtime_error("no line from a child on the private bus");
            }
            line += byte;
        }
        line.pop_back();
        return line;
    }

    TemporaryDirectory directory_;
    Child bus_;
    Child fake_;
    std::string address_;
};

} // namespace korvel::test
