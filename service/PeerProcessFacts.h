#pragma once

#include "AdmissionFacts.h"
#include "UniqueFd.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace korvel::service {

// Installed executable path -> identifier. Linux has no code signatures; the file installed at the
// place is the identity.
using IdentityTable = std::map<std::string, std::string, std::less<>>;

// Admission facts about the process at the other end of an accepted Unix socket. The process is pinned
// with a pidfd when the object is made, and every fact read through its pid is confirmed by checking
// that the pidfd still belongs to a live process, so a pid handed on to another process is never read.
class PeerProcessFacts final : public AdmissionFacts {
public:
    PeerProcessFacts(int connection, const IdentityTable& identities);

    std::optional<SigningIdentity> callerIdentity() override;
    std::optional<SigningIdentity> ownIdentity() override;
    std::optional<FileIdentity> callerExecutable() override;
    std::optional<FileAttributes> attributesOfItem(const std::string& path) override;

    // The caller as the authorisation service needs it: pid, pinned process, user and start time (clock
    // ticks after boot, which tells a process from a later one with the same pid).
    pid_t pid() const { return pid_; }
    int pidfd() const { return pidfd_.get(); }
    uid_t uid() const { return uid_; }
    std::optional<std::uint64_t> callerStartTime() const;

private:
    SigningIdentity identityOf(const std::optional<FileIdentity>& running);
    bool callerIsAlive() const;

    const IdentityTable& identities_;
    pid_t pid_ = 0;
    uid_t uid_ = 0;
    UniqueFd pidfd_;
    // Admission asks for it twice; read once.
    std::optional<std::optional<FileIdentity>> running_;
};

} // namespace korvel::service
