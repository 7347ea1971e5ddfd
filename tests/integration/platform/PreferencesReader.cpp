// Prints, as JSON, what a fresh process reads from the preferences file named by the argument.
#include "SettingsPreferences.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    const QString path = QString::fromLocal8Bit(argv[argc - 1]);
    const korvel::platform::SettingsPreferences preferences(path);
    const QSet<QString> favoriteSet = preferences.favoriteHostnames();
    QStringList favorites(favoriteSet.begin(), favoriteSet.end());
    std::sort(favorites.begin(), favorites.end());
    const std::optional<QString> selected = preferences.selectedHostname();
    const QJsonObject read{
        {"favorites", QJsonValue::fromVariant(favorites)},
        {"storedFavorites",
         QJsonValue::fromVariant(
             QSettings(path, QSettings::IniFormat).value("favoriteHostnames").toStringList())},
        {"recents", QJsonValue::fromVariant(preferences.recentHostnames())},
        {"selected", selected ? QJsonValue(*selected) : QJsonValue()},
        {"launchAtLogin", preferences.launchAtLogin()},
        {"autoConnect", preferences.autoConnect()},
        {"showInPanel", preferences.showInPanel()},
    };
    std::fputs(QJsonDocument(read).toJson(QJsonDocument::Compact).constData(), stdout);
}
