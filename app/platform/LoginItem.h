#pragma once

namespace korvel::platform {

// This application's registration to start when the user logs in.
class LoginItem {
public:
    enum class Status {
        // In place, and starts this application.
        enabled,
        // Ours, but switched off in the desktop's own settings.
        switchedOff,
        // Ours, but it starts another copy of the application.
        startsAnother,
        // Nothing of ours.
        notRegistered,
    };

    virtual ~LoginItem() = default;

    virtual Status status() const = 0;

    // Each reports whether it succeeded. Registering puts ours in place for this application; unregistering
    // removes ours, whatever it starts.
    [[nodiscard]] virtual bool registerItem() = 0;
    [[nodiscard]] virtual bool unregisterItem() = 0;
};

} // namespace korvel::platform
