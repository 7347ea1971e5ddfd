#include "ComputerName.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

TEST(ComputerName, PrefersThePrettyName) {
    const struct {
        const char* machineInfo; // nullptr: no file
        const char* hostName;
        const char* expected;
    } cases[] = {{nullptr, "", "Linux"},
                 {"CHASSIS=laptop\nPRETTY_HOSTNAME=\"J\xC3\xBCrgen's PC\"\n", "box", "J\xC3\xBCrgen's PC"},
                 {"PRETTY_HOSTNAME='Work \"PC\"'\n", "box", "Work \"PC\""},
                 {"PRETTY_HOSTNAME=\"A \\\"B\\\" \\\\ C\"\n", "box", "A \"B\" \\ C"},
                 {"PRETTY_HOSTNAME=\"\"\nPRETTY_HOSTNAME_X=no\n", "box", "box"}};
    for (const auto& [machineInfo, hostName, expected] : cases) {
        const QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("machine-info"));
        QFile file(path);
        if (machineInfo != nullptr) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(machineInfo);
            file.close();
        }
        EXPECT_EQ(ComputerName::read(path, QString::fromUtf8(hostName)).toStdString(), expected);
    }
}

} // namespace
} // namespace korvel::platform
