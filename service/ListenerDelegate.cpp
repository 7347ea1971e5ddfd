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
    // The very file installed at the application's path, not merely a program that names that path:
    // path text is relative to the caller's mount namespace, which any user may make their own.
    const std::optional<FileIdentity> running = facts.callerExecutable();
    const std::optional<FileAttributes> installed = facts.attributesOfItem(applicationPath_);
    return running && installed && installed->identity == *running && installed->owner == 0 &&
           (installed->permissions & 022) == 0;
}

} // namespace korvel::service
