#pragma once

#include "UniqueFd.h"

#include <string>
#include <string_view>

namespace korvel::service {

// The protected configuration file in the root-only state folder. Nothing here follows a symbolic link,
// and a folder that is not root's, or that others may write to, is never used: whoever could write
// there could hand the tools, which run as root, a file of their own.
class ConfigurationStore {
public:
    enum class Presence { absent, present, untrusted };
    enum class WriteResult { written, folderFailed, creationFailed, attributesFailed };

    ConfigurationStore(std::string directory, std::string fileName);

    // `untrusted` when the folder exists but cannot be relied on.
    Presence presence() const;
    // Creates the folder when missing (0700), then the file with `text`, mode 0600, owned by root.
    WriteResult write(std::string_view text) const;
    // Overwrites the file with zero bytes of its full length, then deletes it. Failures are ignored.
    void remove() const;

    std::string path() const { return directory_ + "/" + fileName_; }

private:
    UniqueFd openFolder() const;

    std::string directory_;
    std::string fileName_;
};

} // namespace korvel::service
