#include "ComputerName.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace korvel::platform {
namespace {

struct NameCase {
    const char* name;
    const char* machineInfo; // nullptr: no file
    const char* hostName;
    const char* expected;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

class ComputerNameRule : public testing::TestWithParam<NameCase> {};

TEST_P(ComputerNameRule, PrefersThePrettyName) {
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("machine-info"));
    if (GetParam().machineInfo != nullptr) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(GetParam().machineInfo);
    }
    EXPECT_EQ(ComputerName::read(path, QString::fromUtf8(GetParam().hostName)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ComputerNameRule,
    testing::Values(NameCase{"nothing", nullptr, "", "Linux"},
                    NameCase{"quoted", "CHASSIS=laptop\nPRETTY_HOSTNAME=\"J\xC3\xBCrgen's PC\"\n", "box",
                             "J\xC3\xBCrgen's PC"},
                    NameCase{"singleQuoted", "PRETTY_HOSTNAME='Work \"PC\"'\n", "box", "Work \"PC\""},
                    NameCase{"escaped", "PRETTY_HOSTNAME=\"A \\\"B\\\" \\\\ C\"\n", "box", "A \"B\" \\ C"},
                    NameCase{"emptyOrOtherKeys", "PRETTY_HOSTNAME=\"\"\nPRETTY_HOSTNAME_X=no\n", "box",
                             "box"}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

} // namespace
} // namespace korvel::platform
