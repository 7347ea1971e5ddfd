// korvel-test-polkit ADDRESS RECORD ALLOWED-UID HELD-UID: polkit's authority on a test's bus. It
// authorises subjects of ALLOWED-UID, refuses the others, and never answers for HELD-UID until the check
// is cancelled. Every call becomes a line in RECORD:
//   check CANCELLATION-ID KIND KEY=VALUE... action=ACTION flags=FLAGS   (a pidfd's value: its pid)
//   cancel CANCELLATION-ID
// Prints "ready" once it owns org.freedesktop.PolicyKit1, and ends when the bus does.
#include <systemd/sd-bus.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

namespace {

std::ofstream record;
std::string allowedUid;
std::string heldUid;
std::map<std::string, sd_bus_message*> held;

// The subject's variant values as text.
std::string readVariant(sd_bus_message* message) {
    const char* type = nullptr;
    sd_bus_message_peek_type(message, nullptr, &type);
    sd_bus_message_enter_container(message, SD_BUS_TYPE_VARIANT, type);
    union {
        std::uint32_t u;
        std::int32_t i;
        std::uint64_t t;
        int h;
    } value{};
    std::string text = std::string("type-") + type;
    if (std::string("uith").find(type) == std::string::npos || type[1] != '\0') {
        sd_bus_message_skip(message, type);
    } else if (type[0] == 'h' && sd_bus_message_read_basic(message, 'h', &value.h) > 0) {
        // A pidfd stands for the pid its fdinfo names.
        std::ifstream info("/proc/self/fdinfo/" + std::to_string(value.h));
        std::string line;
        while (std::getline(info, line) && !line.starts_with("Pid:")) {
        }
        text = line.starts_with("Pid:") ? std::to_string(std::stol(line.substr(4))) : "none";
    } else if (sd_bus_message_read_basic(message, type[0], &value) > 0) {
        text = type[0] == 'u'   ? std::to_string(value.u)
               : type[0] == 'i' ? std::to_string(value.i)
                                : std::to_string(value.t);
    }
    sd_bus_message_exit_container(message);
    return text;
}

int check(sd_bus_message* message) {
    const char* text = "";
    std::string subject;
    std::string uid;
    sd_bus_message_enter_container(message, SD_BUS_TYPE_STRUCT, "sa{sv}");
    sd_bus_message_read(message, "s", &text);
    subject = text;
    sd_bus_message_enter_container(message, SD_BUS_TYPE_ARRAY, "{sv}");
    while (sd_bus_message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
        sd_bus_message_read(message, "s", &text);
        const std::string key = text;
        const std::string value = readVariant(message);
        uid = key == "uid" ? value : uid;
        subject += " " + key + "=" + value;
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
    if (uid == heldUid) {
        held[cancellation] = sd_bus_message_ref(message);
        return 1;
    }
    return sd_bus_reply_method_return(message, "(bba{ss})", uid == allowedUid, 0, 0);
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
    const char* interface = "org.freedesktop.PolicyKit1.Authority";
    return sd_bus_message_is_method_call(message, interface, "CheckAuthorization")         ? check(message)
           : sd_bus_message_is_method_call(message, interface, "CancelCheckAuthorization") ? cancel(message)
                                                                                           : 0;
}

} // namespace

int main(int argc, char** argv) {
    sd_bus* bus = nullptr;
    if (argc != 5 || sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, argv[1]) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_add_object(bus, nullptr, "/org/freedesktop/PolicyKit1/Authority", dispatch, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.PolicyKit1", 0) < 0) {
        std::cerr << "usage: korvel-test-polkit ADDRESS RECORD ALLOWED-UID HELD-UID, on a bus it can reach\n";
        return 2;
    }
    record.open(argv[2], std::ios::app);
    allowedUid = argv[3];
    heldUid = argv[4];
    std::cout << "ready" << std::endl;
    for (;;) {
        const int result = sd_bus_process(bus, nullptr);
        if (result < 0 || (result == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)) {
            return 0;
        }
    }
}
