#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace korvel::platform {

// The user's choices that outlive the process. Absent values read as empty or false; failed writes are
// not reported.
class Preferences {
public:
    virtual ~Preferences() = default;

    virtual QSet<QString> favoriteHostnames() const = 0;
    // Stored as a list sorted byte-wise by UTF-8, so the stored form does not depend on hashing.
    virtual void setFavoriteHostnames(const QSet<QString>& hostnames) = 0;

    // Newest first, in stored order.
    virtual QStringList recentHostnames() const = 0;
    virtual void setRecentHostnames(const QStringList& hostnames) = 0;

    virtual std::optional<QString> selectedHostname() const = 0;
    // None removes the value.
    virtual void setSelectedHostname(const std::optional<QString>& hostname) = 0;

    virtual bool launchAtLogin() const = 0;
    virtual void setLaunchAtLogin(bool enabled) = 0;

    virtual bool autoConnect() const = 0;
    virtual void setAutoConnect(bool enabled) = 0;

    // On unless the user turned it off.
    virtual bool showInPanel() const = 0;
    virtual void setShowInPanel(bool enabled) = 0;
};

} // namespace korvel::platform
