#include "InstalledLayout.h"

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

TEST(InstalledLayoutTest, ResourcesFolderLiesBesideTheExecutablesFolder) {
    const auto resources = [](const char* path) {
        return InstalledLayout::resourcesFolder(QString::fromUtf8(path));
    };
    EXPECT_EQ(resources("/opt/korvel/bin/korvel"), QStringLiteral("/opt/korvel/Resources"));
    EXPECT_EQ(resources("/opt/korvel/bin/../bin//korvel"), QStringLiteral("/opt/korvel/Resources"));
    EXPECT_EQ(resources("/bin/korvel"), QStringLiteral("/Resources"));
    for (const char* path : {"/korvel", "bin/korvel", ""}) {
        EXPECT_EQ(resources(path), std::nullopt) << path;
    }
    EXPECT_TRUE(InstalledLayout::runningExecutable().endsWith(QStringLiteral("/korvel-unit-platform")));
}

} // namespace
} // namespace korvel::platform
