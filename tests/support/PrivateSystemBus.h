#pragma once

#include "TemporaryDirectory.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvel::test {

// A dbus-daemon of the test's own, shaped like the system bus (<type>system</type>, no user switch) and
// allowing everything, with the fake polkit authority korvel-test-polkit (KORVEL_TEST_POLKIT) on it,
// authorising `allowedUid` and keeping `heldUid` waiting. What it started is stopped when it is dropped.
class PrivateSystemBus {
public:
    static std::string skipReason() {
        return ::access("/usr/bin/dbus-daemon", X_OK) == 0 ? "" : "needs dbus-daemon (Debian package dbus)";
    }

    PrivateSystemBus(const std::string& allowedUid, const std::string& heldUid) {
        std::ofstream(directory_ / "bus.conf")
            << "<busconfig><type>system</type><listen>unix:path=" << directory_ / "bus"
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
               "<allow own=\"*\"/><allow send_destination=\"*\"/><allow "
               "receive_sender=\"*\"/></policy></busconfig>\n";
        address_ = start({"/usr/bin/dbus-daemon", "--config-file=" + directory_ / "bus.conf", "--nofork",
                          "--print-address"});
        if (start({KORVEL_TEST_POLKIT, address_, directory_ / "record", allowedUid, heldUid}) != "ready") {
            throw std::runtime_error("the fake polkit authority did not start");
        }
    }
    const std::string& address() const { return address_; }

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
    // Started programs and their standard output, stopped last first, also when the constructor throws.
    struct Children : std::vector<std::pair<pid_t, int>> {
        ~Children() {
            for (auto child = rbegin(); child != rend(); ++child) {
                ::kill(child->first, SIGTERM);
                ::waitpid(child->first, nullptr, 0);
                ::close(child->second);
            }
        }
    };

    // Starts a program and returns its first line of output; the test's own time limit covers a hang.
    std::string start(std::vector<std::string> arguments) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        children_.emplace_back(pid, out[0]);
        std::string line;
        for (char byte = 0; ::read(out[0], &byte, 1) == 1 && byte != '\n';) {
            line += byte;
        }
        return line;
    }

    TemporaryDirectory directory_;
    Children children_;
    std::string address_;
};

} // namespace korvel::test
