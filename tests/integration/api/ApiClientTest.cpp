#include "ApiClient.h"
#include "ApiStub.h"
#include "AwaitTask.h"
#include "ComputerName.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <iterator>

namespace korvel::api {
namespace {

using namespace std::chrono_literals;
using test::ApiStub;
using Then = ApiStub::Then;

const QString kCouldNotReach = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kUnexpected = QStringLiteral("The server returned an unexpected response.");
const QByteArray kConfig = R"({"data":{"config":"[Interface]"}})";

class ApiClientTest : public testing::Test {
protected:
    ApiStub server;
};

struct PipelineCase {
    const char* name;
    QByteArray (*response)(); // built when the test runs: some are large
    QString outcome;          // "config: <text>" or "error: <message>"
    Then then = Then::close;
};
void PrintTo(const PipelineCase& c, std::ostream* out) { *out << c.name; }

class ResponsePipeline : public ApiClientTest, public testing::WithParamInterface<PipelineCase> {};

TEST_P(ResponsePipeline, EndsAsSpecified) {
    server.answer(GetParam().response(), GetParam().then);
    ApiClient client(server.baseUrl(), {}, 2s);
    QString config;
    const std::optional<QString> failure = failureOf(client.wireGuardConfig(1, std::nullopt), &config);
    EXPECT_EQ(failure ? QStringLiteral("error: ") + *failure : QStringLiteral("config: ") + config,
              GetParam().outcome);
}

QByteArray http(int status, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return ApiStub::http(status, body, extraHeaders);
}

// The configuration envelope grown by white space to `size` bytes, compressed as for Content-Encoding:
// deflate (a zlib stream).
QByteArray deflatedConfig(qsizetype size) {
    return qCompress(kConfig + QByteArray(size - kConfig.size(), ' ')).sliced(4);
}

// A body that would go on past the limit: what comes after the bytes sent never does.
QByteArray endless(const QByteArray& headers, const QByteArray& sent) {
    return "HTTP/1.1 200 OK\r\n" + headers + "\r\n" + sent;
}
QByteArray chunk(const QByteArray& bytes) {
    return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
}

const QString kOk = QStringLiteral("config: [Interface]");
const QString kUnexpectedOutcome = QStringLiteral("error: ") + kUnexpected;
const QString kUnreachableOutcome = QStringLiteral("error: ") + kCouldNotReach;
const QByteArray kPartial = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"
                            R"({"data":{"config":")";

// Each stream that never ends sends just past the limit: the client must stop there, not at the timeout.
INSTANTIATE_TEST_SUITE_P(
    Responses, ResponsePipeline,
    testing::Values(
        PipelineCase{"successAt299", [] { return http(299, kConfig); }, kOk},
        PipelineCase{"htmlAt401",
                     [] { return http(401, "<html>Unauthorized</html>", "Content-Type: text/html\r\n"); },
                     kUnexpectedOutcome},
        PipelineCase{"emptyAt204",
                     [] { return QByteArray("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"); },
                     kUnexpectedOutcome},
        PipelineCase{"errorStringAt200", [] { return http(200, R"({"error":"Account locked."})"); },
                     QStringLiteral("error: Account locked.")},
        PipelineCase{
            "errorStringAt401",
            [] { return http(401, R"({"error":"Sign in again."})", "WWW-Authenticate: Bearer\r\n"); },
            QStringLiteral("error: Sign in again.")},
        PipelineCase{"errorStringAt400", [] { return http(400, R"({"error":"Bad."})"); },
                     QStringLiteral("error: Bad.")},
        PipelineCase{"errorStringBesideData",
                     [] { return http(200, R"({"data":{"config":"x"},"error":"Maintenance."})"); },
                     QStringLiteral("error: Maintenance.")},
        PipelineCase{"emptyErrorString", [] { return http(503, R"({"error":""})"); },
                     QStringLiteral("error: ")},
        PipelineCase{"emptyEnvelopeAt404", [] { return http(404, "{}"); },
                     QStringLiteral("error: Request failed (404).")},
        PipelineCase{"nullDataAt200", [] { return http(200, R"({"data":null,"error":null})"); },
                     QStringLiteral("error: Request failed (200).")},
        PipelineCase{"dataAt418", [] { return http(418, kConfig); },
                     QStringLiteral("error: Request failed (418).")},
        PipelineCase{"emptyConfiguration", [] { return http(200, R"({"data":{"config":""}})"); },
                     QStringLiteral("error: The server did not return a usable configuration.")},
        PipelineCase{"blankConfiguration", [] { return http(200, R"({"data":{"config":" \n\t"}})"); },
                     QStringLiteral("config:  \n\t")},
        PipelineCase{"truncatedBody", [] { return kPartial; }, kUnreachableOutcome},
        PipelineCase{"notHttp", [] { return QByteArray("SSH-2.0-OpenSSH_9.2\r\n\r\n"); },
                     kUnreachableOutcome},
        PipelineCase{"neverAnswered", [] { return QByteArray(); }, kUnreachableOutcome, Then::hold},
        PipelineCase{"resetBeforeResponse", [] { return QByteArray(); }, kUnreachableOutcome, Then::reset},
        PipelineCase{"resetMidBody", [] { return kPartial; }, kUnreachableOutcome, Then::reset},
        PipelineCase{"stallMidBody", [] { return kPartial; }, kUnreachableOutcome, Then::hold},
        PipelineCase{"brokenGzip",
                     [] { return http(200, "\x1f\x8b\x08\x00garbage", "Content-Encoding: gzip\r\n"); },
                     kUnexpectedOutcome},
        PipelineCase{"deflatedAtTheLimit",
                     [] {
                         return http(200, deflatedConfig(ApiClient::kMaxBodyBytes),
                                     "Content-Encoding: deflate\r\n");
                     },
                     kOk},
        PipelineCase{"endlessWithLength",
                     [] {
                         return endless("Content-Length: 1073741824\r\n",
                                        QByteArray(ApiClient::kMaxBodyBytes + 1, ' '));
                     },
                     kUnexpectedOutcome, Then::hold},
        PipelineCase{"endlessChunked",
                     [] {
                         return endless("Transfer-Encoding: chunked\r\n",
                                        chunk(QByteArray(ApiClient::kMaxBodyBytes + 1, ' ')));
                     },
                     kUnexpectedOutcome, Then::hold},
        PipelineCase{"endlessDeflated",
                     [] {
                         return endless("Transfer-Encoding: chunked\r\nContent-Encoding: deflate\r\n",
                                        chunk(deflatedConfig(4 * ApiClient::kMaxBodyBytes)));
                     },
                     kUnexpectedOutcome, Then::hold}),
    [](const testing::TestParamInfo<PipelineCase>& info) { return info.param.name; });

TEST_F(ApiClientTest, RequestsGoOutAsPrepared) {
    server.answer(http(200, "{}"));
    ApiClient client(server.baseUrl(), {});
    QCoro::Task<QList<ServerLocation>> preparedWithoutToken = client.servers();
    client.setToken(QStringLiteral("tok-1"));
    failureOf(std::move(preparedWithoutToken));
    failureOf(client.devices());
    client.setToken(QString());
    failureOf(client.account());
    client.setToken(QStringLiteral("old"));
    failureOf(client.login(QStringLiteral(" Anna@Example.org "), QString::fromUtf8("p\xC3\xA4ss \"word\"")));
    failureOf(client.createDevice(QStringLiteral("Linux (box)")));
    failureOf(client.wireGuardConfig(9007199254740993LL, QStringLiteral("de-1.example")));
    failureOf(client.wireGuardConfig(-1, std::nullopt));
    failureOf(client.wireGuardConfig(2, QString()));
    // Tokens that could not go into a header as they are go nowhere.
    for (const char* unusable : {"abc\r\nX-Injected: yes", "a b", "t\xC3\xA4"}) {
        client.setToken(QString::fromUtf8(unusable));
        failureOf(client.account());
    }

    const std::pair<std::string, std::string> expected[] = {// route, authorization
                                                            {"GET servers", ""},
                                                            {"GET devices", "Bearer tok-1"},
                                                            {"GET account", "Bearer"},
                                                            {"POST auth/token", "Bearer old"},
                                                            {"POST devices", "Bearer old"},
                                                            {"POST vpn/configs/wireguard", "Bearer old"},
                                                            {"POST vpn/configs/wireguard", "Bearer old"},
                                                            {"POST vpn/configs/wireguard", "Bearer old"},
                                                            {"GET account", ""},
                                                            {"GET account", ""},
                                                            {"GET account", ""}};
    const auto& sent = server.requests;
    ASSERT_EQ(sent.size(), std::size(expected));
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(std::pair(std::get<0>(sent[i]), std::get<2>(sent[i])), expected[i]) << i;
    }

    const auto body = [&](size_t i) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(std::get<1>(sent[i]))).object();
    };
    EXPECT_EQ(body(3), (QJsonObject{{QStringLiteral("email"), QStringLiteral(" Anna@Example.org ")},
                                    {QStringLiteral("password"), QString::fromUtf8("p\xC3\xA4ss \"word\"")},
                                    {QStringLiteral("name"),
                                     QStringLiteral("Linux (%1)").arg(platform::ComputerName::current())}}));
    EXPECT_EQ(body(4), (QJsonObject{{QStringLiteral("name"), QStringLiteral("Linux (box)")},
                                    {QStringLiteral("platform"), QStringLiteral("linux")},
                                    {QStringLiteral("protocol"), QStringLiteral("wireguard")}}));
    EXPECT_NE(std::get<1>(sent[5]).find("\"device_id\":9007199254740993"), std::string::npos);
    EXPECT_EQ(body(5).value(QStringLiteral("hostname")).toString(), QStringLiteral("de-1.example"));
    EXPECT_EQ(body(5).size(), 2);
    EXPECT_EQ(body(6), (QJsonObject{{QStringLiteral("device_id"), -1}}));
    EXPECT_EQ(body(7), (QJsonObject{{QStringLiteral("device_id"), 2}}));
}

TEST_F(ApiClientTest, DestroyingTheClientEndsItsOperationsAsUnreachable) {
    server.answer({}, Then::hold);
    auto client = std::make_unique<ApiClient>(server.baseUrl(), QStringList());
    QTimer inFlight; // the client goes once its request has arrived
    QObject::connect(&inFlight, &QTimer::timeout, [&] {
        if (!server.requests.empty()) {
            client.reset();
        }
    });
    inFlight.start(1);
    EXPECT_EQ(failureOf(client->account()), kCouldNotReach);
}

TEST_F(ApiClientTest, ASignInTokenThatCouldNotBeSentIsAnUnexpectedResponse) {
    server.answer(http(200, R"({"data":{"token":"abc\r\nX-Injected: yes","id":1,"name":"n"}})"));
    ApiClient client(server.baseUrl(), {});
    EXPECT_EQ(failureOf(client.login(QStringLiteral("a@b"), QStringLiteral("pw"))), kUnexpected);
}

struct RedirectCase {
    const char* name;
    int status;
    // "{api}" and "{other}" stand for the two servers' host and port, "{port}" for the API's port.
    const char* location;
    // Requests that reach the API's server: 2 for a redirect followed once; 0 for as many as Qt follows.
    size_t requests;
};
void PrintTo(const RedirectCase& c, std::ostream* out) { *out << c.name; }

class Redirect : public ApiClientTest, public testing::WithParamInterface<RedirectCase> {
protected:
    ApiStub other;
};

// A redirect is followed only within the API's scheme, host and port: anywhere else would receive the
// token, and from 307 and 308 the body with it. A redirect loop is followed only so far.
TEST_P(Redirect, StaysWithinTheApisOrigin) {
    const RedirectCase& test = GetParam();
    const QByteArray location = QByteArray(test.location)
                                    .replace("{api}", QUrl(server.baseUrl()).authority().toUtf8())
                                    .replace("{other}", QUrl(other.baseUrl()).authority().toUtf8())
                                    .replace("{port}", QByteArray::number(QUrl(server.baseUrl()).port()));
    server.answer(http(test.status, {}, "Location: " + location + "\r\n"));
    server.answer(http(200, kConfig), Then::close, "POST moved");
    other.answer(http(200, kConfig));
    ApiClient client(server.baseUrl(), {});
    client.setToken(QStringLiteral("secret"));
    const bool followed = test.requests == 2;
    EXPECT_EQ(failureOf(client.wireGuardConfig(1, QStringLiteral("de-1"))),
              followed ? std::nullopt : std::optional(kUnexpected));
    EXPECT_TRUE(other.requests.empty());
    const auto& sent = server.requests;
    if (test.requests > 0) {
        ASSERT_EQ(sent.size(), test.requests);
    }
    if (followed) {
        EXPECT_EQ(std::get<0>(sent[1]), "POST moved");
        EXPECT_EQ(std::get<2>(sent[1]), "Bearer secret");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, Redirect,
    testing::Values(RedirectCase{"foundAway302", 302, "http://{other}/api/v1/moved", 1},
                    RedirectCase{"temporaryAway307", 307, "http://{other}/api/v1/moved", 1},
                    RedirectCase{"sameServerByAnotherName", 307, "http://localhost:{port}/api/v1/moved", 1},
                    RedirectCase{"toHttps", 307, "https://{api}/api/v1/moved", 1},
                    RedirectCase{"sameOriginRelative", 307, "/api/v1/moved", 2},
                    RedirectCase{"sameOriginAbsolute", 308, "http://{api}/api/v1/moved", 2},
                    RedirectCase{"loop", 302, "/api/v1/vpn/configs/wireguard", 0}),
    [](const testing::TestParamInfo<RedirectCase>& info) { return info.param.name; });

struct BaseCase {
    const char* name;
    std::optional<const char*> argument;
    std::optional<const char*> environment; // KORVEL_API
    std::optional<const char*> infoIni;
    const char* expected;
    // What every operation fails with, where that is decided before anything leaves this computer;
    // {file} stands for the settings file the base came from.
    std::optional<std::string> failure = std::nullopt;
    std::optional<const char*> administrator = std::nullopt; // the administrator's file, read first
};
void PrintTo(const BaseCase& c, std::ostream* out) { *out << c.name; }

std::string refusedIn(const std::string& source) {
    return source + " must be an https:// address; http:// is allowed only for this computer (localhost).";
}

// Every case sets or clears KORVEL_API, and no other test here reads it.
class BaseUrl : public testing::TestWithParam<BaseCase> {};

TEST_P(BaseUrl, ResolvesInOrderOfPrecedence) {
    const BaseCase& test = GetParam();
    const QTemporaryDir folder;
    const QStringList files{folder.filePath(QStringLiteral("korvel.conf")),
                            folder.filePath(QStringLiteral("Info.ini"))};
    for (const auto& [file, content] :
         {std::pair(files[0], test.administrator), std::pair(files[1], test.infoIni)}) {
        QFile settings(file);
        if (content) {
            ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
            settings.write(*content);
        }
    }
    if (test.environment) {
        qputenv("KORVEL_API", *test.environment);
    } else {
        qunsetenv("KORVEL_API");
    }
    ApiClient client(test.argument ? std::optional(QString::fromUtf8(*test.argument)) : std::nullopt, files);
    EXPECT_EQ(client.baseUrl().toString(), QString::fromUtf8(test.expected));
    if (test.failure) {
        EXPECT_EQ(failureOf(client.login(QStringLiteral("a@b"), QStringLiteral("pw"))),
                  QString::fromStdString(*test.failure)
                      .replace(QStringLiteral("{file}"), files[test.administrator ? 0 : 1]));
    }
}

constexpr const char* kDefault = "https://api.korvel.example/api/v1/";
const std::string kUnreachable = kCouldNotReach.toStdString();

INSTANTIATE_TEST_SUITE_P(
    Sources, BaseUrl,
    testing::Values(
        BaseCase{"builtInDefault", {}, {}, {}, kDefault},
        BaseCase{"argumentFirst", "http://arg/v2", "http://env/", "KorvelApiBase=http://ini/",
                 "http://arg/v2/", refusedIn("The API address")},
        BaseCase{"emptyArgument", "", "http://env/", {}, "/", kUnreachable},
        BaseCase{"unparsable", "http://[::1", {}, {}, "", kUnreachable},
        BaseCase{"environmentBeforeInfo",
                 {},
                 "http://env/api",
                 "KorvelApiBase=http://ini/",
                 "http://env/api/",
                 refusedIn("KORVEL_API")},
        BaseCase{"emptyEnvironment", {}, "", "KorvelApiBase=http://ini/", "/", kUnreachable},
        BaseCase{"info",
                 {},
                 {},
                 "KorvelApiBase=http://ini:8080/api",
                 "http://ini:8080/api/",
                 refusedIn("KorvelApiBase in {file}")},
        BaseCase{"emptyInfo", {}, {}, "KorvelApiBase=\n", kDefault},
        BaseCase{"administratorBeforeInfo",
                 {},
                 {},
                 "KorvelApiBase=https://ini/",
                 "http://admin/api/",
                 refusedIn("KorvelApiBase in {file}"),
                 "KorvelApiBase=http://admin/api"},
        BaseCase{"emptyAdministrator",
                 {},
                 {},
                 "KorvelApiBase=https://ini/",
                 "https://ini/",
                 {},
                 "; nothing set\n"},
        BaseCase{"trailingSlashKept", "https://h/api/v1/", {}, {}, "https://h/api/v1/"},
        BaseCase{"cleartextToLocalhost", {}, "http://LocalHost:1/", {}, "http://localhost:1/", kUnreachable},
        BaseCase{"cleartextToLoopback", {}, "http://127.0.0.2:1", {}, "http://127.0.0.2:1/", kUnreachable},
        BaseCase{"cleartextToIpv6Loopback", {}, "http://[::1]:1", {}, "http://[::1]:1/", kUnreachable}),
    [](const testing::TestParamInfo<BaseCase>& info) { return info.param.name; });

} // namespace
} // namespace korvel::api
