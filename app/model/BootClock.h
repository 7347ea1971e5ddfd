#pragma once

#include <chrono>

namespace korvel::model {

// Time since the computer started, suspended time included; it never jumps when the system's time is
// set. The session time counts on it, since the tunnel stays up while the computer sleeps.
class BootClock {
public:
    static std::chrono::nanoseconds now();
};

} // namespace korvel::model
