#include "ToolCapabilities.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/capability.h>

namespace korvel::service {
namespace {

constexpr std::array<cap_value_t, 3> kToolCapabilities{CAP_NET_ADMIN, CAP_NET_RAW, CAP_NET_BIND_SERVICE};
constexpr cap_value_t kDaemonCapability = CAP_SYS_PTRACE;

struct CapFree {
    void operator()(void* object) const { ::cap_free(object); }
};
using Caps = std::unique_ptr<std::remove_pointer_t<cap_t>, CapFree>;
using Iab = std::unique_ptr<std::remove_pointer_t<cap_iab_t>, CapFree>;

bool isToolCapability(cap_value_t capability) {
    for (const cap_value_t tool : kToolCapabilities) {
        if (tool == capability) {
            return true;
        }
    }
    return false;
}

std::string failure(const char* step) { return std::string(step) + ": " + std::strerror(errno); }

} // namespace

std::string lockDownCapabilities() {
    const Caps current(::cap_get_proc());
    if (!current) {
        return failure("cannot read the capabilities");
    }
    const auto permitted = [&](cap_value_t capability) {
        cap_flag_value_t value = CAP_CLEAR;
        return ::cap_get_flag(current.get(), capability, CAP_PERMITTED, &value) == 0 && value == CAP_SET;
    };

    // Inheritable and ambient empty (cap_iab_init's), and the bounding set cut to the tools' set. libcap
    // raises CAP_SETPCAP for the cut and lowers it again.
    const Iab iab(::cap_iab_init());
    if (!iab) {
        return failure("cannot make the capability vectors");
    }
    for (cap_value_t capability = 0; capability < ::cap_max_bits(); ++capability) {
        if (!isToolCapability(capability) && ::cap_get_bound(capability) == 1 &&
            ::cap_iab_set_vector(iab.get(), CAP_IAB_BOUND, capability, CAP_SET) != 0) {
            return failure("cannot make the capability vectors");
        }
    }
    if (::cap_iab_set_proc(iab.get()) != 0) {
        return failure("cannot drop capabilities from the bounding set");
    }

    const Caps reduced(::cap_init());
    if (!reduced) {
        return failure("cannot make the capability sets");
    }
    for (const cap_value_t capability : kToolCapabilities) {
        if (permitted(capability) &&
            ::cap_set_flag(reduced.get(), CAP_PERMITTED, 1, &capability, CAP_SET) != 0) {
            return failure("cannot make the capability sets");
        }
    }
    if (permitted(kDaemonCapability)) {
        for (const cap_flag_t set : {CAP_PERMITTED, CAP_EFFECTIVE}) {
            if (::cap_set_flag(reduced.get(), set, 1, &kDaemonCapability, CAP_SET) != 0) {
                return failure("cannot make the capability sets");
            }
        }
    }
    if (::cap_set_proc(reduced.get()) != 0) {
        return failure("cannot reduce the capabilities");
    }
    return {};
}

} // namespace korvel::service
