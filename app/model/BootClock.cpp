#include "BootClock.h"

#include <ctime>

namespace korvel::model {

std::chrono::nanoseconds BootClock::now() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace korvel::model
