#include "InstalledLayout.h"

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

TEST(InstalledLayoutTest, ResourcesFolderLiesBesideTheExecutablesFolder) {
    const std::pair<const char*, std::optional<QString>> rows[] = {
        {"/opt/korvel/bin/korvel", "/opt/korvel/Resources"},
        {"/opt/korvel/bin/../bin//korvel", "/opt/korvel/Resources"},
        {"/bin/korvel", "/Resources"},
        {"/korvel", std::nullopt},
        {"bin/korvel", std::nullopt},
        {"", std::nullopt}};
    for (const auto& [executable, resources] : rows) {
        EXPECT_EQ(InstalledLayout::resourcesFolder(QString::fromUtf8(executable)), resources) << executable;
    }
    EXPECT_TRUE(InstalledLayout::runningExecutable().endsWith(QStringLiteral("/korvel-unit-platform")));
}

} // namespace
} // namespace korvel::platform
