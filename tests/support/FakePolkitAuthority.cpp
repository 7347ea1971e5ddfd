// Stands in for polkit's authority on a test's bus:
//   korvel-test-polkit ADDRESS RECORD [--allow UID,...] [--hold UID]
// Authorises subjects of the allowed uids, refuses the others, and never answers for the held uid until
// the check is cancelled. Every call becomes a line in RECORD:
//   check CANCELLATION-ID KIND KEY=VALUE... action=ACTION flags=FLAGS   (a pidfd's value: its pid)
//   cancel CANCELLATION-ID
// Prints "ready" once it owns org.freedesktop.PolicyKit1, and ends when the bus does.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>

namespace {

constexpr const char* kInterface = "org.freedesktop.PolicyKit1.Authority";

std::ofstream record;
std::set<std::int64_t> allowed;
std::optional<std::int64_t> heldUid;
std::map<std::string, sd_bus_message*> held;

std::string pidOfPidfd(int fd) {
    std::ifstream info("/proc/self/fdinfo/" + std::to_string(fd));
    for (std::string line; std::getline(info, line);) {
        if (line.starts_with("Pid:")) {
            return std::to_string(std::stol(line.substr(4)));
        }
    }
    return "none";
}

// One a{sv} value as text; `uid` takes the value of the key "uid".
std::string readValue(sd_bus_message* message, const std::string& key, std::int64_t& uid) {
    char type = 0;
    const char* contents = nullptr;
    sd_bus_message_peek_type(message, &type, &contents);
    sd_bus_message_enter_container(message, SD_BUS_TYPE_VARIANT, contents);
    const std::string kind = contents;
    std::uint32_t u = 0;
    std::uint64_t t = 0;
    std::int32_t i = 0;
    int h = -1;
    std::string text = "type-" + kind;
    if (kind == "u" && sd_bus_message_read(message, "u", &u) > 0) {
        text = std::to_string(u);
    } else if (kind == "t" && sd_bus_message_read(message, "t", &t) > 0) {
        text = std::to_string(t);
    } else if (kind == "i" && sd_bus_message_read(message, "i", &i) > 0) {
        text = std::to_string(i);
        uid = key == "uid" ? i : uid;
    } else if (kind == "h" && sd_bus_message_read(message, "h", &h) > 0) {
        text = pidOfPidfd(h);
    } else {
        sd_bus_message_skip(message, contents);
    }
    sd_bus_message_exit_container(message);
    return text;
}

int check(sd_bus_message* message) {
    std::ostringstream line;
    std::int64_t uid = -1;
    const char* kind = "";
    sd_bus_message_enter_container(message, SD_BUS_TYPE_STRUCT, "sa{sv}");
    sd_bus_message_read(message, "s", &kind);
    std::string subject = kind;
    sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "{sv}");
    while (sd_bus_message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
        const char* key = "";
        sd_bus_message_read(message, "s", &key);
        subject += std::string(" ") + key + "=" + readValue(message, key, uid);
        sd_bus_message_exit_container(message);
    }
    sd_bus_message_exit_container(message);
    sd_bus_message_exit_container(message);
    const char* action = "";
    std::uint32_t flags = 0;
    const char* cancellation = "";
    sd_bus_message_read(message, "s", &action);
    sd_bus_message_skip(message, "a{ss}");
    sd_bus_message_read(message, "us", &flags, &cancellation);
    record << "check " << cancellation << ' ' << subject << " action=" << action << " flags=" << flags
           << std::endl;
    if (heldUid == uid) {
        held[cancellation] = sd_bus_message_ref(message);
        return 1;
    }
    return sd_bus_reply_method_return(message, "(bba{ss})", allowed.contains(uid) ? 1 : 0, 0, 0);
}

int cancel(sd_bus_message* message) {
    const char* cancellation = "";
    sd_bus_message_read(message, "s", &cancellation);
    record << "cancel " << cancellation << std::endl;
    if (const auto call = held.find(cancellation); call != held.end()) {
        sd_bus_reply_method_errorf(call->second, "org.freedesktop.PolicyKit1.Error.Cancelled", "Cancelled");
        sd_bus_message_unref(call->second);
        held.erase(call);
    }
    return sd_bus_reply_method_return(message, "");
}

int dispatch(sd_bus_message* message, void*, sd_bus_error*) {
    if (sd_bus_message_is_method_call(message, kInterface, "CheckAuthorization")) {
        return check(message);
    }
    if (sd_bus_message_is_method_call(message, kInterface, "CancelCheckAuthorization")) {
        return cancel(message);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: korvel-test-polkit ADDRESS RECORD [--allow UID,...] [--hold UID]\n";
        return 2;
    }
    record.open(argv[2], std::ios::app);
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        std::istringstream values(argv[i + 1]);
        for (std::string value; std::getline(values, value, ',');) {
            if (option == "--allow") {
                allowed.insert(std::stoll(value));
            } else if (option == "--hold") {
                heldUid = std::stoll(value);
            }
        }
    }
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, argv[1]) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0 ||
        sd_bus_add_object(bus, nullptr, "/org/freedesktop/PolicyKit1/Authority", dispatch, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.PolicyKit1", 0) < 0) {
        std::cerr << "korvel-test-polkit: cannot serve on " << argv[1] << '\n';
        return 1;
    }
    std::cout << "ready" << std::endl;
    for (;;) {
        const int result = sd_bus_process(bus, nullptr);
        if (result < 0 || (result == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)) {
            return 0;
        }
    }
}
