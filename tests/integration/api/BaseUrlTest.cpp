#include "ApiClient.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace korvel::api {
namespace {

struct BaseCase {
    const char* name;
    std::optional<const char*> argument;
    std::optional<const char*> environment; // KORVEL_API
    std::optional<const char*> infoIni;     // contents of Info.ini
    const char* expected;
};

class BaseUrl : public testing::TestWithParam<BaseCase> {
protected:
    void SetUp() override {
        hadEnvironment_ = qEnvironmentVariableIsSet("KORVEL_API");
        saved_ = qgetenv("KORVEL_API");
    }
    void TearDown() override {
        if (hadEnvironment_) {
            qputenv("KORVEL_API", saved_);
        } else {
            qunsetenv("KORVEL_API");
        }
    }

private:
    bool hadEnvironment_ = false;
    QByteArray saved_;
};

TEST_P(BaseUrl, ResolvesInOrderOfPrecedence) {
    const BaseCase& test = GetParam();
    const QTemporaryDir resources;
    if (test.infoIni) {
        QFile info(resources.filePath(QStringLiteral("Info.ini")));
        ASSERT_TRUE(info.open(QIODevice::WriteOnly));
        info.write(*test.infoIni);
    }
    if (test.environment) {
        qputenv("KORVEL_API", *test.environment);
    } else {
        qunsetenv("KORVEL_API");
    }
    const std::optional<QString> argument =
        test.argument ? std::optional(QString::fromUtf8(*test.argument)) : std::nullopt;
    const ApiClient client(argument, resources.path());
    EXPECT_EQ(client.baseUrl().toString(), QString::fromUtf8(test.expected));
}

constexpr const char* kDefault = "https://api.korvel.example/api/v1/";

INSTANTIATE_TEST_SUITE_P(
    Sources, BaseUrl,
    testing::Values(
        BaseCase{"builtInDefault", {}, {}, {}, kDefault},
        BaseCase{"argumentWinsOverAll", "http://arg.example/v2", "http://env.example/",
                 "KorvelApiBase=http://ini/", "http://arg.example/v2/"},
        BaseCase{"emptyArgumentIsUsed", "", "http://env.example/", {}, "/"},
        BaseCase{"environmentWinsOverInfo",
                 {},
                 "http://env.example/api",
                 "KorvelApiBase=http://ini.example/",
                 "http://env.example/api/"},
        BaseCase{"emptyEnvironmentIsUsed", {}, "", "KorvelApiBase=http://ini.example/", "/"},
        BaseCase{"infoValue",
                 {},
                 {},
                 "KorvelApiBase=http://ini.example:8080/api/v1",
                 "http://ini.example:8080/api/v1/"},
        BaseCase{"infoValueInGeneralSection",
                 {},
                 {},
                 "[General]\nKorvelApiBase=\"http://ini.example/x/\"\n",
                 "http://ini.example/x/"},
        BaseCase{"emptyInfoValue", {}, {}, "KorvelApiBase=\n", kDefault},
        BaseCase{"infoValueThatIsAList", {}, {}, "KorvelApiBase=http://a/, http://b/\n", kDefault},
        BaseCase{"infoOtherKeyOnly", {}, {}, "Other=http://ini.example/\n", kDefault},
        BaseCase{"trailingSlashKept", "https://h.example/api/v1/", {}, {}, "https://h.example/api/v1/"}),
    [](const testing::TestParamInfo<BaseCase>& info) { return info.param.name; });

} // namespace
} // namespace korvel::api
