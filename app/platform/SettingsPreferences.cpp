#include "SettingsPreferences.h"

#include <QStandardPaths>

#include <algorithm>

namespace korvel::platform {
namespace {

const QString favoriteHostnamesKey = QStringLiteral("favoriteHostnames");
const QString recentHostnamesKey = QStringLiteral("recentHostnames");
const QString selectedHostnameKey = QStringLiteral("selectedHostname");
const QString launchAtLoginKey = QStringLiteral("launchAtLogin");
const QString autoConnectKey = QStringLiteral("autoConnect");
const QString showInPanelKey = QStringLiteral("showInPanel");

} // namespace

QString SettingsPreferences::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/korvel/korvel.conf");
}

SettingsPreferences::SettingsPreferences(const QString& path) : settings_(path, QSettings::IniFormat) {}

// An INI file keeps no types: after a restart a list of one reads back as a string and a Bool as
// "true" or "false", so every value is read through the conversion that undoes that.

QSet<QString> SettingsPreferences::favoriteHostnames() const {
    const QStringList stored = settings_.value(favoriteHostnamesKey).toStringList();
    return {stored.begin(), stored.end()};
}

void SettingsPreferences::setFavoriteHostnames(const QSet<QString>& hostnames) {
    QList<QByteArray> encoded;
    encoded.reserve(hostnames.size());
    for (const QString& hostname : hostnames) {
        encoded.append(hostname.toUtf8());
    }
    std::sort(encoded.begin(), encoded.end());
    QStringList sorted;
    sorted.reserve(encoded.size());
    for (const QByteArray& hostname : encoded) {
        sorted.append(QString::fromUtf8(hostname));
    }
    store(favoriteHostnamesKey, sorted);
}

QStringList SettingsPreferences::recentHostnames() const {
    return settings_.value(recentHostnamesKey).toStringList();
}

void SettingsPreferences::setRecentHostnames(const QStringList& hostnames) {
    store(recentHostnamesKey, hostnames);
}

std::optional<QString> SettingsPreferences::selectedHostname() const {
    if (!settings_.contains(selectedHostnameKey)) {
        return std::nullopt;
    }
    return settings_.value(selectedHostnameKey).toString();
}

void SettingsPreferences::setSelectedHostname(const std::optional<QString>& hostname) {
    if (hostname) {
        store(selectedHostnameKey, *hostname);
    } else {
        settings_.remove(selectedHostnameKey);
        settings_.sync();
    }
}

bool SettingsPreferences::launchAtLogin() const { return settings_.value(launchAtLoginKey).toBool(); }

void SettingsPreferences::setLaunchAtLogin(bool enabled) { store(launchAtLoginKey, enabled); }

bool SettingsPreferences::autoConnect() const { return settings_.value(autoConnectKey).toBool(); }

void SettingsPreferences::setAutoConnect(bool enabled) { store(autoConnectKey, enabled); }

bool SettingsPreferences::showInPanel() const { return settings_.value(showInPanelKey, true).toBool(); }

void SettingsPreferences::setShowInPanel(bool enabled) { store(showInPanelKey, enabled); }

// Written through at once: the command line and the window may run side by side.
void SettingsPreferences::store(const QString& key, const QVariant& value) {
    settings_.setValue(key, value);
    settings_.sync();
}

} // namespace korvel::platform
