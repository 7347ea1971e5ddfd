#include "SettingsPreferences.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

// What the next start of the application reads: QSettings keeps the types it wrote only within one
// process, so another process reads the file.
std::string readAfterRestart(const QString& path) {
    QProcess reader;
    reader.start(QStringLiteral(KORVEL_PREFERENCES_READER), {path});
    EXPECT_TRUE(reader.waitForFinished(30000));
    return reader.readAllStandardOutput().toStdString();
}

TEST(SettingsPreferencesTest, ValuesKeepTheirTypesAcrossARestartAndFavouritesTheirByteOrder) {
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("korvel/korvel.conf"));
    EXPECT_EQ(readAfterRestart(path), ";;-;0;0;1");
    SettingsPreferences preferences(path);
    preferences.setFavoriteHostnames({QStringLiteral("fav.example")});
    preferences.setRecentHostnames({QStringLiteral("only.example")});
    preferences.setSelectedHostname(QStringLiteral("only.example"));
    preferences.setLaunchAtLogin(true);
    preferences.setAutoConnect(false);
    preferences.setShowInPanel(false);
    EXPECT_EQ(readAfterRestart(path), "fav.example;only.example;only.example;1;0;0");

    // UTF-16 order would put the emoji (a surrogate pair) before the fullwidth letter.
    preferences.setFavoriteHostnames({"b", "\U0001F600", "B", "\uFF21", "a", "\u00E9"});
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value("favoriteHostnames").toStringList(),
              QStringList({"B", "a", "b", "\u00E9", "\uFF21", "\U0001F600"}));
    preferences.setFavoriteHostnames({});
    preferences.setRecentHostnames({QStringLiteral("new.example"), QStringLiteral("only.example")});
    preferences.setSelectedHostname(std::nullopt);
    preferences.setLaunchAtLogin(false);
    preferences.setAutoConnect(true);
    preferences.setShowInPanel(true);
    EXPECT_EQ(readAfterRestart(path), ";new.example,only.example;-;0;1;1");
}

} // namespace
} // namespace korvel::platform
