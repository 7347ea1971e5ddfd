#pragma once

#include "Preferences.h"

#include <QSettings>

namespace korvel::platform {

// Preferences in an INI file through QSettings.
class SettingsPreferences final : public Preferences {
public:
    // $XDG_CONFIG_HOME/korvel/korvel.conf
    static QString defaultPath();

    explicit SettingsPreferences(const QString& path = defaultPath());

    QSet<QString> favoriteHostnames() const override;
    void setFavoriteHostnames(const QSet<QString>& hostnames) override;
    QStringList recentHostnames() const override;
    void setRecentHostnames(const QStringList& hostnames) override;
    std::optional<QString> selectedHostname() const override;
    void setSelectedHostname(const std::optional<QString>& hostname) override;
    bool launchAtLogin() const override;
    void setLaunchAtLogin(bool enabled) override;
    bool autoConnect() const override;
    void setAutoConnect(bool enabled) override;
    bool showInPanel() const override;
    void setShowInPanel(bool enabled) override;

private:
    void store(const QString& key, const QVariant& value);

    QSettings settings_;
};

} // namespace korvel::platform
