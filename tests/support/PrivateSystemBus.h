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

    PrivateSystemBus() {
        std::ofstream(directory_ / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>system</type><listen>unix:path="
            << directory_ / "bus"
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/><allow "
               "own=\"*\"/>"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/></policy>"
               "</busconfig>\n";
        address_ = start({"/usr/bin/dbus-daemon", "--config-file=" + directory_ / "bus.conf", "--nofork",
                          "--print-address"});
    }

    const std::string& address() const { return address_; }

    // Starts the fake with `rules` (e.g. {"--allow", "0,1000", "--hold", "2000"}) and returns once it
    // owns its name.
    void startFakeAuthority(const std::vector<std::string>& rules) {
        std::vector<std::string> arguments = {KORVEL_TEST_POLKIT, address_, directory_ / "record"};
        arguments.insert(arguments.end(), rules.begin(), rules.end());
        if (start(arguments) != "ready") {
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
    // Started programs and their standard output, stopped last first when dropped.
    struct Children {
        ~Children() {
            for (auto child = started.rbegin(); child != started.rend(); ++child) {
                ::kill(child->first, SIGTERM);
                ::waitpid(child->first, nullptr, 0);
                ::close(child->second);
            }
        }
        std::vector<std::pair<pid_t, int>> started;
    };

    // Starts a program and returns its first line of output, for which it has 30 seconds on a loaded
    // machine.
    std::string start(const std::vector<std::string>& arguments) {
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
        pid_t pid = 0;
        const int failure = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        if (failure != 0) {
            ::close(pipe[0]);
            throw std::runtime_error("cannot start " + arguments[0]);
        }
        children_.started.emplace_back(pid, pipe[0]);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::string line;
        for (char byte = 0; byte != '\n'; line += byte) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{pipe[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0 ||
                ::read(pipe[0], &byte, 1) != 1) {
                throw std::runtime_error("no line from " + arguments[0]);
            }
        }
        line.pop_back();
        return line;
    }

    TemporaryDirectory directory_;
    Children children_;
    std::string address_;
};

} // namespace korvel::test
