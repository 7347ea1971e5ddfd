#include "ConfigurationStore.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

namespace korvel::service {
namespace {

bool createDirectories(const std::filesystem::path& directory) {
    if (::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST) {
        return true;
    }
    const std::filesystem::path parent = directory.parent_path();
    return errno == ENOENT && parent != directory && createDirectories(parent) &&
           (::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

ConfigurationStore::ConfigurationStore(std::string directory, std::string fileName)
    : directory_(std::move(directory)), fileName_(std::move(fileName)) {}

UniqueFd ConfigurationStore::openFolder() const {
    UniqueFd folder(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!folder || ::fstat(folder.get(), &status) != 0 || status.st_uid != 0 || (status.st_mode & 022) != 0) {
        return {};
    }
    return folder;
}

ConfigurationStore::Presence ConfigurationStore::presence() const {
    const UniqueFd folder = openFolder();
    if (!folder) {
        struct stat status {};
        return ::lstat(directory_.c_str(), &status) != 0 && errno == ENOENT ? Presence::absent
                                                                            : Presence::untrusted;
    }
    struct stat status {};
    const bool regular = ::fstatat(folder.get(), fileName_.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(status.st_mode);
    return regular ? Presence::present : Presence::absent;
}

ConfigurationStore::WriteResult ConfigurationStore::write(std::string_view text) const {
    if (!createDirectories(directory_)) {
        return WriteResult::folderFailed;
    }
    const UniqueFd folder = openFolder();
    if (!folder) {
        return WriteResult::folderFailed;
    }
    ::unlinkat(folder.get(), fileName_.c_str(), 0);
    const UniqueFd file(::openat(folder.get(), fileName_.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file || !writeAll(file.get(), text)) {
        return WriteResult::creationFailed;
    }
    if (::fchmod(file.get(), 0600) != 0 || ::fchown(file.get(), 0, 0) != 0) {
        return WriteResult::attributesFailed;
    }
    return WriteResult::written;
}

void ConfigurationStore::remove() const {
    const UniqueFd folder = openFolder();
    if (!folder) {
        return;
    }
    const UniqueFd file(
        ::openat(folder.get(), fileName_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (file && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode)) {
        const std::array<char, 4096> zeros{};
        off_t offset = 0;
        while (offset < status.st_size) {
            const auto length = static_cast<std::size_t>(
                std::min<off_t>(status.st_size - offset, static_cast<off_t>(zeros.size())));
            const ssize_t written = ::pwrite(file.get(), zeros.data(), length, offset);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            offset += written;
        }
        ::fdatasync(file.get());
    }
    ::unlinkat(folder.get(), fileName_.c_str(), 0);
}

} // namespace korvel::service
