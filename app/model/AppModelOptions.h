#pragma once

#include "BootClock.h"
#include "TunnelController.h"
#include "TunnelPaths.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace korvel::model {

// What differs between the installed application and a test of the model. The defaults are the
// installed application's.
struct AppModelOptions {
    // None: the API client resolves its base itself (KORVEL_API, Info.ini, built-in default).
    std::optional<QString> apiBaseUrl;
    // None: a controller for the installed daemon.
    std::unique_ptr<tunnel::TunnelController> tunnel;
    // Present exactly when the tunnel daemon is installed; checked before every connect.
    QString serviceDefinitionPath = QString::fromUtf8(tunnel::kServiceDefinitionPath);

    // Off for the command line: every command restores the session, and "korvel disconnect" must not
    // bring the tunnel up first. A sign-in still connects when the preference says so.
    bool autoConnectAfterRestore = true;

    std::chrono::milliseconds stateMonitorInterval{3000};
    std::chrono::milliseconds sessionTimerInterval{1000};
    // What the session time is measured on.
    std::function<std::chrono::nanoseconds()> sessionClock = &BootClock::now;
    // A restore that could not reach the server is tried again after this wait, doubled after every
    // further such failure up to the limit.
    std::chrono::milliseconds firstRestoreRetry{2000};
    std::chrono::milliseconds restoreRetryLimit{60000};
};

} // namespace korvel::model
