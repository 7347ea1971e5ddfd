#include "InstalledLayout.h"

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

TEST(InstalledLayoutTest, ResourcesFolderLiesBesideTheExecutablesFolder) {
    const char* rows[][2] = {{"/opt/korvel/bin/korvel", "/opt/korvel/Resources"},
                             {"/opt/korvel/bin/../bin//korvel", "/opt/korvel/Resources"},
                             {"/bin/korvel", "/Resources"},
                             {"/korvel", ""},
                             {"bin/korvel", ""},
                             {"", ""}};
    for (const auto& [executable, resources] : rows) {
        EXPECT_EQ(InstalledLayout::resourcesFolder(QString::fromUtf8(executable)).value_or(""), resources);
    }
    EXPECT_TRUE(InstalledLayout::runningExecutable().endsWith(QStringLiteral("/korvel-unit-platform")));
}

} // namespace
} // namespace korvel::platform
