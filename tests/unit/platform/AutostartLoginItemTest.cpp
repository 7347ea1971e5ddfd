#include "AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace korvel::platform {
namespace {

using Status = LoginItem::Status;

class AutostartLoginItemTest : public testing::Test {
protected:
    QByteArray entry() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    const QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("autostart"));
    const QString path = folder + QStringLiteral("/korvel.desktop");
};

// Ours, whatever it starts and whether the desktop switched it off, is ours to remove.
TEST_F(AutostartLoginItemTest, OnlyOurEntryCountsAndOnlyOursIsRemoved) {
    const std::string exec = "[Desktop Entry]\nExec=/opt/korvel/bin/korvel\n",
                      ours = "X-Korvel-LoginItem=true\n";
    const std::pair<std::string, Status> rows[] = {
        {"", Status::notRegistered}, // no file at all
        {exec + ours, Status::enabled},
        {"# edited\r\n[Desktop Entry]\r\nExec = /opt/korvel/bin/korvel\r\nX-Korvel-LoginItem = true\r\n",
         Status::enabled},
        {exec + ours + "Hidden=true\n", Status::switchedOff},
        {exec + ours + "X-GNOME-Autostart-enabled=false\n", Status::switchedOff},
        {"[Desktop Entry]\nExec=/usr/local/korvel/bin/korvel\n" + ours, Status::startsAnother},
        {exec, Status::notRegistered},
        {exec + "[Desktop Action quit]\n" + ours, Status::notRegistered},
        {exec + "#" + ours, Status::notRegistered}};
    for (const auto& [text, status] : rows) {
        if (!text.empty()) {
            QDir().mkpath(folder);
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(text.data(), static_cast<qint64>(text.size()));
        }
        AutostartLoginItem item(path, QStringLiteral("/opt/korvel/bin/korvel"));
        EXPECT_EQ(item.status(), status) << text;
        EXPECT_TRUE(item.unregisterItem()) << text;
        EXPECT_EQ(QFile::exists(path), !text.empty() && status == Status::notRegistered) << text;
        EXPECT_TRUE(item.registerItem() && item.status() == Status::enabled) << text;
        EXPECT_TRUE(entry().contains("\nExec=/opt/korvel/bin/korvel\n"));
        QFile::remove(path);
    }
}

TEST_F(AutostartLoginItemTest, ExecutablePathIsEscapedAndStillRecognisedOrRefused) {
    const std::pair<const char*, const char*> rows[] = {
        {"/home/a b/bin/korvel", "Exec=\"/home/a b/bin/korvel\""},
        {"/opt/100%/bin/korvel", "Exec=/opt/100%%/bin/korvel"},
        {"/opt/q\"d$x\\y/bin/korvel", "Exec=\"/opt/q\\\\\"d\\\\$x\\\\\\\\y/bin/korvel\""},
        {"", nullptr},
        {"bin/korvel", nullptr},
        {"/opt/korvel\n[Desktop Entry]\nHidden=false/korvel", nullptr}};
    for (const auto& [executable, line] : rows) {
        QFile::remove(path);
        AutostartLoginItem item(path, QString::fromUtf8(executable));
        EXPECT_EQ(item.registerItem(), line != nullptr) << executable;
        EXPECT_EQ(item.status(), line ? Status::enabled : Status::notRegistered) << executable;
        EXPECT_TRUE(line ? entry().contains(QByteArray("\n") + line + "\n") : !QFile::exists(path))
            << executable;
    }
}

TEST_F(AutostartLoginItemTest, FailuresAreReported) {
    AutostartLoginItem item(path, QStringLiteral("/opt/korvel/bin/korvel"));
    ASSERT_TRUE(QFile(folder).open(QIODevice::WriteOnly)); // where the folder should be
    EXPECT_FALSE(item.registerItem());
    ASSERT_TRUE(QFile::remove(folder) && item.registerItem());
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into folders whatever their mode";
    }
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(item.registerItem() || item.unregisterItem());
    EXPECT_EQ(item.status(), Status::enabled);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace
} // namespace korvel::platform
