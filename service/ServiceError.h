#pragma once

#include <string>

namespace korvel::service {

// A failed step of a tunnel operation, with the sentence the application shows for it.
struct ServiceError {
    std::string message;
};

} // namespace korvel::service
