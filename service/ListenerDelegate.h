#pragma once

#include "AdmissionFacts.h"

#include <string>

namespace korvel::service {

// Decides which callers may talk to the daemon: the application, recognised by its identity and, when
// neither side has a team, by running the very file installed at its path, owned by root and writable
// by nobody else.
class ListenerDelegate {
public:
    explicit ListenerDelegate(std::string applicationPath);

    bool shouldAcceptNewConnection(AdmissionFacts& facts) const;

private:
    std::string applicationPath_;
};

} // namespace korvel::service
