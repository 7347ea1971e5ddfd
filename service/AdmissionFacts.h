#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace korvel::service {

// Who a program says it is. A present identity may still lack either member.
struct SigningIdentity {
    std::optional<std::string> identifier;
    std::optional<std::string> team;
};

struct FileAttributes {
    uid_t owner = 0;
    mode_t permissions = 0;
};

// The facts admission decides on, for one connecting caller. Every lookup answers nullopt when it fails.
class AdmissionFacts {
public:
    virtual ~AdmissionFacts() = default;
    virtual std::optional<SigningIdentity> callerIdentity() = 0;
    virtual std::optional<SigningIdentity> ownIdentity() = 0;
    virtual std::optional<std::string> callerExecutablePath() = 0;
    virtual std::optional<FileAttributes> attributesOfItem(const std::string& path) = 0;
};

} // namespace korvel::service
