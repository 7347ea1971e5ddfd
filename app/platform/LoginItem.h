#pragma once

namespace korvel::platform {

// This application's registration to start when the user logs in.
class LoginItem {
public:
    virtual ~LoginItem() = default;

    // True when the registration is in place and will start this application.
    virtual bool isEnabled() const = 0;

    // Each reports whether it succeeded.
    [[nodiscard]] virtual bool registerItem() = 0;
    [[nodiscard]] virtual bool unregisterItem() = 0;
};

} // namespace korvel::platform
