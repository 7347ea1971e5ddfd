#include "TunnelService.h"

#include "ConfigurationSafety.h"

namespace korvel::service {
namespace {

constexpr const char* kStartFailed = "The tunnel could not be started.";

} // namespace

TunnelService::TunnelService(const ConfigurationStore& store, TunnelTools& tools)
    : store_(store), tools_(tools) {}

std::optional<std::string> TunnelService::connect(const std::string& configuration) {
    // The tools get the lines the check judged, not the text as sent: they end a line at LF alone.
    const std::optional<std::string> judged = judgedConfiguration(configuration);
    if (!judged) {
        return "The VPN configuration is invalid.";
    }
    if (store_.presence() == ConfigurationStore::Presence::present) {
        if (std::optional<ServiceError> error = takeDown()) {
            return error->message;
        }
    }
    switch (store_.write(*judged)) {
    case ConfigurationStore::WriteResult::written:
        break;
    case ConfigurationStore::WriteResult::creationFailed:
        return "The tunnel service could not save its protected configuration.";
    case ConfigurationStore::WriteResult::folderFailed:
    case ConfigurationStore::WriteResult::attributesFailed:
        return kStartFailed;
    }
    if (std::optional<ServiceError> error = tools_.runWireGuard("up")) {
        store_.remove();
        return error->message;
    }
    return std::nullopt;
}

std::optional<std::string> TunnelService::disconnect() {
    switch (store_.presence()) {
    case ConfigurationStore::Presence::absent:
        return std::nullopt;
    case ConfigurationStore::Presence::untrusted:
        return "The tunnel could not be stopped.";
    case ConfigurationStore::Presence::present:
        break;
    }
    if (std::optional<ServiceError> error = takeDown()) {
        return error->message;
    }
    return std::nullopt;
}

std::optional<ServiceError> TunnelService::takeDown() {
    std::optional<ServiceError> error = tools_.runWireGuard("down");
    if (error && tools_.interfaceIsPresent()) {
        return error;
    }
    store_.remove();
    return std::nullopt;
}

} // namespace korvel::service
