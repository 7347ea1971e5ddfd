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

// Which file something is, whatever name it was reached by: the same file has the same pair in every
// mount namespace, bind mount and link, and a copy or a replacement has another.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct FileAttributes {
    uid_t owner = 0;
    mode_t permissions = 0;
    FileIdentity identity;
};

// The facts admission decides on, for one connecting caller. Every lookup answers nullopt when it fails.
class AdmissionFacts {
public:
    virtual ~AdmissionFacts() = default;
    virtual std::optional<SigningIdentity> callerIdentity() = 0;
    virtual std::optional<SigningIdentity> ownIdentity() = 0;
    // The file the caller is running now.
    virtual std::optional<FileIdentity> callerExecutable() = 0;
    // The item at `path` itself, as the daemon sees it; a symbolic link is not followed.
    virtual std::optional<FileAttributes> attributesOfItem(const std::string& path) = 0;
};

} // namespace korvel::service
