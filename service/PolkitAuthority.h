#pragma once

#include "UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <systemd/sd-bus.h>
#include <utility>
#include <vector>

namespace korvel::service {

// The process polkit judges. `startTime` is field 22 of /proc/<pid>/stat; `pidfd` is -1 when there is none.
struct PolkitSubject {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    uid_t uid = 0;
    int pidfd = -1;
};

// Asks polkit's authority whether callers may use org.korvel.tunnel.control, without ever waiting for
// it: the checks run side by side on the bus, and their answers are picked up by process() from the
// caller's poll loop.
class PolkitAuthority {
public:
    // `busAddress` empty: the system bus; else that address. The bus is opened by the first ask(), and
    // again by the next ask() after it broke. A check not answered within `timeout` is refused.
    explicit PolkitAuthority(std::string busAddress,
                             std::chrono::milliseconds timeout = std::chrono::minutes(2));
    PolkitAuthority(const PolkitAuthority&) = delete;
    PolkitAuthority& operator=(const PolkitAuthority&) = delete;
    ~PolkitAuthority();

    // Starts a check of `subject`, allowing polkit to ask for a password. False when it could not be
    // started: no bus, a bad subject, `id` already waiting, or too many checks waiting.
    bool ask(std::uint64_t id, const PolkitSubject& subject);
    // Stops waiting for `id` and withdraws its check, so polkit closes a password prompt it opened.
    void cancel(std::uint64_t id);

    // The bus descriptor and events to poll for ({-1, 0, 0} without a bus), and the milliseconds until
    // process() is due regardless (-1: no such time).
    pollfd pollEntry() const;
    int pollTimeout() const;
    // Handles what the bus has and returns the checks that ended since the last call, each with whether
    // it was authorised. An error, an unexpected reply, a broken bus or the time limit is a refusal.
    std::vector<std::pair<std::uint64_t, bool>> process();

private:
    struct Check {
        PolkitAuthority* owner = nullptr;
        std::uint64_t id = 0;
        PolkitSubject subject;
        UniqueFd pidfd;
        std::string cancellationId;
        // Null until sent: a message carrying a descriptor is held until the bus has said hello.
        sd_bus_slot* slot = nullptr;
    };

    static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error* error);
    bool open();
    bool send(Check& check);
    void withdraw(const std::string& cancellationId);
    void refuseAll();

    std::string busAddress_;
    std::chrono::milliseconds timeout_;
    sd_bus* bus_ = nullptr;
    std::map<std::uint64_t, Check> checks_;
    std::vector<std::pair<std::uint64_t, bool>> ended_;
    std::uint64_t cancellations_ = 0;
};

} // namespace korvel::service
