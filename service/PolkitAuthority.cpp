#include "PolkitAuthority.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>

namespace korvel::service {
namespace {

constexpr const char* kService = "org.freedesktop.PolicyKit1";
constexpr const char* kPath = "/org/freedesktop/PolicyKit1/Authority";
constexpr const char* kInterface = "org.freedesktop.PolicyKit1.Authority";
constexpr const char* kAction = "org.korvel.tunnel.control";
constexpr std::uint32_t kAllowUserInteraction = 1;
// The listener holds at most 32 callers; anything beyond this is a fault, not a queue to grow.
constexpr std::size_t kMaxChecks = 64;
// Messages handled per process(), so a busy bus cannot hold the loop; sd-bus then reports a timeout
// of zero and the loop comes back at once.
constexpr int kMaxMessagesPerTurn = 64;

struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

bool isAuthorised(sd_bus_message* reply) {
    int authorised = 0;
    int challenge = 0;
    return !sd_bus_message_is_method_error(reply, nullptr) &&
           sd_bus_message_has_signature(reply, "(bba{ss})") > 0 &&
           sd_bus_message_enter_container(reply, SD_BUS_TYPE_STRUCT, "bba{ss}") > 0 &&
           sd_bus_message_read(reply, "bb", &authorised, &challenge) > 0 && authorised != 0;
}

} // namespace

PolkitAuthority::PolkitAuthority(std::string busAddress, std::chrono::milliseconds timeout)
    : busAddress_(std::move(busAddress)), timeout_(std::max(timeout, std::chrono::milliseconds(1))) {}

PolkitAuthority::~PolkitAuthority() {
    for (auto& [id, check] : checks_) {
        if (check.slot != nullptr) {
            sd_bus_slot_unref(check.slot);
            withdraw(check.cancellationId);
        }
    }
    sd_bus_close_unref(bus_);
}

bool PolkitAuthority::ask(std::uint64_t id, const PolkitSubject& subject) {
    if (checks_.size() >= kMaxChecks || checks_.contains(id) || subject.pid <= 0 ||
        subject.uid > static_cast<uid_t>(std::numeric_limits<std::int32_t>::max()) || !open()) {
        return false;
    }
    // Our own copy: the caller's may be closed before the check is sent.
    UniqueFd pidfd(subject.pidfd >= 0 ? ::fcntl(subject.pidfd, F_DUPFD_CLOEXEC, 0) : -1);
    if (subject.pidfd >= 0 && !pidfd) {
        return false;
    }
    const auto [entry, inserted] = checks_.try_emplace(id);
    Check& check = entry->second;
    check.owner = this;
    check.id = id;
    check.subject = subject;
    check.pidfd = std::move(pidfd);
    check.cancellationId = "korvel-" + std::to_string(++cancellations_);
    // sd-bus would wait for the bus's hello to learn whether it may pass a descriptor; process() sends
    // the check once the hello is in.
    if (sd_bus_is_ready(bus_) > 0 && !send(check)) {
        checks_.erase(entry);
        return false;
    }
    return true;
}

void PolkitAuthority::cancel(std::uint64_t id) {
    const auto entry = checks_.find(id);
    if (entry == checks_.end()) {
        return;
    }
    if (entry->second.slot != nullptr) {
        sd_bus_slot_unref(entry->second.slot);
        withdraw(entry->second.cancellationId);
    }
    checks_.erase(entry);
}

pollfd PolkitAuthority::pollEntry() const {
    const int fd = bus_ != nullptr ? sd_bus_get_fd(bus_) : -1;
    const int events = bus_ != nullptr ? sd_bus_get_events(bus_) : -1;
    if (fd < 0 || events < 0) {
        return {-1, 0, 0};
    }
    return {fd, static_cast<short>(events), 0};
}

int PolkitAuthority::pollTimeout() const {
    std::uint64_t due = 0;
    if (!ended_.empty()) {
        return 0; // refused when ask() replaced a broken bus
    }
    if (bus_ == nullptr) {
        return -1;
    }
    if (sd_bus_get_timeout(bus_, &due) < 0) {
        return 0; // process() finds out what is wrong
    }
    if (due == std::numeric_limits<std::uint64_t>::max()) {
        return -1;
    }
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto nowUs =
        static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + static_cast<std::uint64_t>(now.tv_nsec) / 1'000;
    if (due <= nowUs) {
        return 0;
    }
    return static_cast<int>(std::min<std::uint64_t>((due - nowUs + 999) / 1'000, INT_MAX));
}

std::vector<std::pair<std::uint64_t, bool>> PolkitAuthority::process() {
    if (bus_ != nullptr) {
        int result = 0;
        for (int i = 0; i < kMaxMessagesPerTurn && (result = sd_bus_process(bus_, nullptr)) > 0; ++i) {
        }
        if (result >= 0 && sd_bus_is_ready(bus_) > 0) {
            for (auto entry = checks_.begin(); entry != checks_.end();) {
                if (entry->second.slot != nullptr || send(entry->second)) {
                    ++entry;
                } else {
                    ended_.emplace_back(entry->first, false);
                    entry = checks_.erase(entry);
                }
            }
        }
        if (result < 0 || sd_bus_is_open(bus_) <= 0) {
            refuseAll();
        }
    }
    return std::exchange(ended_, {});
}

int PolkitAuthority::onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    Check& check = *static_cast<Check*>(userdata);
    PolkitAuthority& self = *check.owner;
    const bool authorised = isAuthorised(reply);
    // Our own time limit ran out: polkit may still show a password prompt for it.
    if (sd_bus_message_is_method_error(reply, SD_BUS_ERROR_NO_REPLY)) {
        self.withdraw(check.cancellationId);
    }
    sd_bus_slot_unref(check.slot);
    self.ended_.emplace_back(check.id, authorised);
    self.checks_.erase(check.id);
    return 0;
}

bool PolkitAuthority::open() {
    if (bus_ != nullptr && sd_bus_is_open(bus_) > 0) {
        return true;
    }
    refuseAll();
    sd_bus* bus = nullptr;
    int result = 0;
    if (busAddress_.empty()) {
        result = sd_bus_open_system(&bus);
    } else {
        result = sd_bus_new(&bus);
        if (result >= 0) {
            result = sd_bus_set_address(bus, busAddress_.c_str());
        }
        if (result >= 0) {
            result = sd_bus_set_bus_client(bus, 1);
        }
        if (result >= 0) {
            result = sd_bus_start(bus);
        }
    }
    if (result < 0) {
        sd_bus_close_unref(bus);
        return false;
    }
    bus_ = bus;
    return true;
}

bool PolkitAuthority::send(Check& check) {
    sd_bus_message* raw = nullptr;
    int result =
        sd_bus_message_new_method_call(bus_, &raw, kService, kPath, kInterface, "CheckAuthorization");
    const std::unique_ptr<sd_bus_message, MessageUnref> call(raw);
    const auto pid = static_cast<std::uint32_t>(check.subject.pid);
    const std::uint64_t startTime = check.subject.startTime;
    const auto uid = static_cast<std::int32_t>(check.subject.uid);
    // polkit before 124 ignores the pidfd and goes by pid and start time; later ones pin the process
    // with it.
    const bool withPidfd = check.pidfd && sd_bus_can_send(bus_, SD_BUS_TYPE_UNIX_FD) > 0;
    if (result >= 0) {
        result = withPidfd ? sd_bus_message_append(call.get(), "(sa{sv})", "unix-process", 4, "pid", "u", pid,
                                                   "start-time", "t", startTime, "uid", "i", uid, "pidfd",
                                                   "h", check.pidfd.get())
                           : sd_bus_message_append(call.get(), "(sa{sv})", "unix-process", 3, "pid", "u", pid,
                                                   "start-time", "t", startTime, "uid", "i", uid);
    }
    if (result >= 0) {
        result = sd_bus_message_append(call.get(), "sa{ss}us", kAction, 0, kAllowUserInteraction,
                                       check.cancellationId.c_str());
    }
    if (result >= 0) {
        const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(timeout_).count();
        result = sd_bus_call_async(bus_, &check.slot, call.get(), onReply, &check,
                                   static_cast<std::uint64_t>(usec));
    }
    check.pidfd.reset();
    return result >= 0;
}

void PolkitAuthority::withdraw(const std::string& cancellationId) {
    // No reply wanted: a check that already ended only makes polkit answer with an error.
    sd_bus_call_method_async(bus_, nullptr, kService, kPath, kInterface, "CancelCheckAuthorization", nullptr,
                             nullptr, "s", cancellationId.c_str());
}

void PolkitAuthority::refuseAll() {
    for (auto& [id, check] : checks_) {
        sd_bus_slot_unref(check.slot);
        ended_.emplace_back(id, false);
    }
    checks_.clear();
    bus_ = sd_bus_close_unref(bus_);
}

} // namespace korvel::service
