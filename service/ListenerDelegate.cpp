#include "ListenerDelegate.h"

#include "ServiceConstants.h"

#include <utility>

namespace korvel::service {

ListenerDelegate::ListenerDelegate(std::string applicationPath)
    : applicationPath_(std::move(applicationPath)) {}

bool ListenerDelegate::shouldAcceptNewConnection(AdmissionFacts& facts) const {
    const std::optional<SigningIdentity> caller = facts.callerIdentity();
    if (!caller) {
        return false;
    }
    const std::optional<SigningIdentity> own = facts.ownIdentity();
    if (!own) {
        return false;
    }
    if (caller->identifier != clientBundleIdentifier) {
        return false;
    }
    if (caller->team && !caller->team->empty()) {
        return own->team == caller->team;
    }
    if (own->team) {
        return false;
    }
    const std::optional<std::string> path = facts.callerExecutablePath();
    if (!path || *path != applicationPath_) {
        return false;
    }
    const std::optional<FileAttributes> attributes = facts.attributesOfItem(*path);
    return attributes && attributes->owner == 0 && (attributes->permissions & 022) == 0;
}

} // namespace korvel::service
