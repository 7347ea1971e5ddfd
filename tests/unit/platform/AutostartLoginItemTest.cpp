#include "AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace korvel::platform {
namespace {

const QString executable = QStringLiteral("/opt/korvel/bin/korvel");

class AutostartLoginItemTest : public testing::Test {
protected:
    QString folder() const { return home_.filePath(QStringLiteral("autostart")); }
    QString entryPath() const { return folder() + QStringLiteral("/korvel.desktop"); }

    QByteArray readEntry() const {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir home_;
};

using Status = LoginItem::Status;

// Ours, whatever it starts and whether the desktop switched it off, is ours to remove.
TEST_F(AutostartLoginItemTest, OnlyOurEntryCountsAndOnlyOursIsRemoved) {
    const char* ours = "X-Korvel-LoginItem=true\n";
    const char* exec = "[Desktop Entry]\nExec=/opt/korvel/bin/korvel\n";
    const struct {
        std::string text;
        Status status;
    } cases[] = {
        {"", Status::notRegistered}, // no file at all
        {std::string(exec) + ours, Status::enabled},
        {"# edited\r\n[Desktop Entry]\r\nExec = /opt/korvel/bin/korvel\r\nX-Korvel-LoginItem = true\r\n",
         Status::enabled},
        {std::string(exec) + ours + "Hidden=true\n", Status::switchedOff},
        {std::string(exec) + ours + "X-GNOME-Autostart-enabled=false\n", Status::switchedOff},
        {std::string("[Desktop Entry]\nExec=/usr/local/korvel/bin/korvel\n") + ours, Status::startsAnother},
        {exec, Status::notRegistered},
        {std::string(exec) + "[Desktop Action quit]\n" + ours, Status::notRegistered},
        {std::string(exec) + "#" + ours, Status::notRegistered},
    };
    for (const auto& c : cases) {
        if (!c.text.empty()) {
            QDir().mkpath(folder());
            QFile file(entryPath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.text.data(), static_cast<qint64>(c.text.size()));
        }
        AutostartLoginItem item(entryPath(), executable);
        EXPECT_EQ(item.status(), c.status) << c.text;
        EXPECT_TRUE(item.unregisterItem()) << c.text;
        EXPECT_EQ(QFile::exists(entryPath()), !c.text.empty() && c.status == Status::notRegistered) << c.text;

        EXPECT_TRUE(item.registerItem()) << c.text;
        EXPECT_EQ(item.status(), Status::enabled) << c.text;
        EXPECT_TRUE(readEntry().contains("\nExec=/opt/korvel/bin/korvel\n"));
        QFile::remove(entryPath());
    }
}

TEST_F(AutostartLoginItemTest, ExecutablePathIsEscapedAndStillRecognised) {
    const char* cases[][2] = {
        {"/home/a b/bin/korvel", "Exec=\"/home/a b/bin/korvel\""},
        {"/opt/100%/bin/korvel", "Exec=/opt/100%%/bin/korvel"},
        {"/opt/q\"d$x\\y/bin/korvel", "Exec=\"/opt/q\\\\\"d\\\\$x\\\\\\\\y/bin/korvel\""},
    };
    for (const auto& [path, line] : cases) {
        AutostartLoginItem item(entryPath(), QString::fromUtf8(path));
        ASSERT_TRUE(item.registerItem()) << path;
        EXPECT_TRUE(readEntry().contains(QByteArray("\n") + line + "\n")) << readEntry().toStdString();
        EXPECT_EQ(item.status(), Status::enabled) << path;
    }
    for (const char* path : {"", "bin/korvel", "/opt/korvel\n[Desktop Entry]\nHidden=false/korvel"}) {
        QFile::remove(entryPath());
        AutostartLoginItem item(entryPath(), QString::fromUtf8(path));
        EXPECT_FALSE(item.registerItem()) << path;
        EXPECT_FALSE(QFile::exists(entryPath())) << path;
    }
}

TEST_F(AutostartLoginItemTest, RegisterFailsWhenTheFolderCannotBeMade) {
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(AutostartLoginItem(entryPath(), executable).registerItem());
}

TEST_F(AutostartLoginItemTest, FailuresInAnUnwritableFolderAreReported) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into folders whatever their mode";
    }
    AutostartLoginItem item(entryPath(), executable);
    ASSERT_TRUE(item.registerItem());
    ASSERT_TRUE(QFile::setPermissions(folder(), QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(item.registerItem());
    EXPECT_FALSE(item.unregisterItem());
    EXPECT_EQ(item.status(), Status::enabled);
    QFile::setPermissions(folder(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
} // namespace korvel::platform
