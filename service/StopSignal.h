#pragma once

#include "UniqueFd.h"

namespace korvel::service {

// SIGTERM and SIGINT as a descriptor that becomes readable when one arrives. Make it before any thread
// starts, so every thread inherits the blocked signals.
class StopSignal {
public:
    StopSignal();

    int fd() const { return signals_.get(); }

private:
    UniqueFd signals_;
};

} // namespace korvel::service
