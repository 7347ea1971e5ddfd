#include "SettingsPreferences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

class SettingsPreferencesTest : public testing::Test {
protected:
    QString path() const { return folder_.filePath(QStringLiteral("korvel/korvel.conf")); }

    // What the next start of the application reads: QSettings keeps the types it wrote only within
    // one process, so another process reads the file.
    QJsonObject readAfterRestart() const {
        QProcess reader;
        reader.start(QStringLiteral(KORVEL_PREFERENCES_READER), {path()});
        EXPECT_TRUE(reader.waitForFinished(30000));
        return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    }

    static QJsonObject read(const QStringList& favorites, const QStringList& recents,
                            const QJsonValue& selected, bool launchAtLogin, bool autoConnect,
                            bool showInPanel) {
        return {{"favorites", QJsonArray::fromStringList(favorites)},
                {"storedFavorites", QJsonArray::fromStringList(favorites)},
                {"recents", QJsonArray::fromStringList(recents)},
                {"selected", selected},
                {"launchAtLogin", launchAtLogin},
                {"autoConnect", autoConnect},
                {"showInPanel", showInPanel}};
    }

    QTemporaryDir folder_;
};

TEST_F(SettingsPreferencesTest, ValuesKeepTheirTypesAcrossARestart) {
    EXPECT_EQ(readAfterRestart(), read({}, {}, QJsonValue::Null, false, false, true));

    SettingsPreferences preferences(path());
    preferences.setFavoriteHostnames({QStringLiteral("fav.example")});
    preferences.setRecentHostnames({QStringLiteral("only.example")});
    preferences.setSelectedHostname(QStringLiteral("only.example"));
    preferences.setLaunchAtLogin(true);
    preferences.setAutoConnect(false);
    preferences.setShowInPanel(false);
    EXPECT_EQ(readAfterRestart(),
              read({"fav.example"}, {"only.example"}, "only.example", true, false, false));

    preferences.setFavoriteHostnames({});
    preferences.setRecentHostnames({QStringLiteral("new.example"), QStringLiteral("only.example")});
    preferences.setSelectedHostname(std::nullopt);
    preferences.setLaunchAtLogin(false);
    preferences.setAutoConnect(true);
    preferences.setShowInPanel(true);
    EXPECT_EQ(readAfterRestart(),
              read({}, {"new.example", "only.example"}, QJsonValue::Null, false, true, true));
}

TEST_F(SettingsPreferencesTest, FavouritesAreStoredInByteOrder) {
    SettingsPreferences preferences(path());
    // UTF-16 order would put the emoji (a surrogate pair) before the fullwidth letter.
    preferences.setFavoriteHostnames({"b", "\U0001F600", "B", "\uFF21", "a", "\u00E9"});
    EXPECT_EQ(readAfterRestart()["storedFavorites"],
              QJsonArray::fromStringList({"B", "a", "b", "\u00E9", "\uFF21", "\U0001F600"}));
}

} // namespace
} // namespace korvel::platform
