#include "AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

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

// Ours, whatever it starts and whether the desktop switched it off, is ours to remove. The executable's
// path is escaped and still recognised; one that no escape can carry is refused.
TEST_F(AutostartLoginItemTest, OnlyOurEntryCountsOnlyOursIsRemovedAndThePathIsEscaped) {
    const std::string exec = "[Desktop Entry]\nExec=/opt/korvel/bin/korvel\n",
                      ours = "X-Korvel-LoginItem=true\n";
    const struct {
        std::string text; // none: no file at all
        Status status;
        const char *executable = "/opt/korvel/bin/korvel", *line = "Exec=/opt/korvel/bin/korvel";
    } rows[] = {
        {"", Status::notRegistered},
        {exec + ours, Status::enabled},
        {"# edited\r\n[Desktop Entry]\r\nExec = /opt/korvel/bin/korvel\r\nX-Korvel-LoginItem = true\r\n",
         Status::enabled},
        {exec + ours + "Hidden=true\n", Status::switchedOff},
        {exec + ours + "X-GNOME-Autostart-enabled=false\n", Status::switchedOff},
        {"[Desktop Entry]\nExec=/usr/local/korvel/bin/korvel\n" + ours, Status::startsAnother},
        {exec, Status::notRegistered},
        {exec + "[Desktop Action quit]\n" + ours, Status::notRegistered},
        {exec + "#" + ours, Status::notRegistered},
        {"", Status::notRegistered, "/home/a b/bin/korvel", "Exec=\"/home/a b/bin/korvel\""},
        {"", Status::notRegistered, "/opt/100%/bin/korvel", "Exec=/opt/100%%/bin/korvel"},
        {"", Status::notRegistered, "/opt/q\"d$x\\y/bin/korvel",
         "Exec=\"/opt/q\\\\\"d\\\\$x\\\\\\\\y/bin/korvel\""},
        {exec + ours, Status::startsAnother, "", nullptr},
        {"", Status::notRegistered, "bin/korvel", nullptr},
        {"", Status::notRegistered, "/opt/korvel\n[Desktop Entry]\nHidden=false/korvel", nullptr}};
    for (const auto& row : rows) {
        if (!row.text.empty()) {
            QDir().mkpath(folder);
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.text.data(), static_cast<qint64>(row.text.size()));
        }
        AutostartLoginItem item(path, QString::fromUtf8(row.executable));
        EXPECT_EQ(item.status(), row.status) << row.text << row.executable;
        EXPECT_TRUE(item.unregisterItem()) << row.text;
        EXPECT_EQ(QFile::exists(path), !row.text.empty() && row.status == Status::notRegistered) << row.text;
        EXPECT_EQ(item.registerItem(), row.line != nullptr) << row.executable;
        EXPECT_EQ(item.status(), row.line ? Status::enabled : Status::notRegistered) << row.executable;
        EXPECT_TRUE(row.line ? entry().contains(QByteArray("\n") + row.line + "\n") : !QFile::exists(path))
            << entry().toStdString();
        QFile::remove(path);
    }
}

// The other failures, of a folder that cannot be written, root would never see.
TEST_F(AutostartLoginItemTest, AFolderThatCannotBeMadeIsReported) {
    AutostartLoginItem item(path, QStringLiteral("/opt/korvel/bin/korvel"));
    ASSERT_TRUE(QFile(folder).open(QIODevice::WriteOnly)); // where the folder should be
    EXPECT_FALSE(item.registerItem());
}

} // namespace
} // namespace korvel::platform
