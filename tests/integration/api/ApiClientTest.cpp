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

namespace korvel::api {
namespace {

using namespace std::chrono_literals;
using test::ApiStub;
using Then = ApiStub::Then;

const QString kCouldNotReach = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kUnexpected = QStringLiteral("The server returned an unexpected response.");
const QByteArray kConfig = R"({"data":{"config":"[Interface]"}})";

QByteArray http(int status, const QByteArray& body, const QByteArray& extraHeaders = {}) {
    return ApiStub::http(status, body, extraHeaders);
}

// The configuration envelope grown by white space to `size` bytes, compressed as for Content-Encoding:
// deflate (a zlib stream).
QByteArray deflatedConfig(qsizetype size) {
    return qCompress(kConfig + QByteArray(size - kConfig.size(), ' ')).sliced(4);
}

QByteArray chunk(const QByteArray& bytes) {
    return QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n";
}

// Bodies that never end send just past the limit and then nothing: the client must stop there, not at
// its timeout.
TEST(ApiClientTest, EveryResponseEndsAsAConfigurationOrOneFailure) {
    ApiStub server;
    const QByteArray partial = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"
                               R"({"data":{"config":")";
    const QByteArray ok = "HTTP/1.1 200 OK\r\n";
    const QByteArray pastLimit(ApiClient::kMaxBodyBytes + 1, ' ');
    const QString unexpected = QStringLiteral("error: ") + kUnexpected;
    const QString unreachable = QStringLiteral("error: ") + kCouldNotReach;
    const struct {
        const char* name;
        QByteArray response;
        QString outcome; // "config: <text>" or "error: <message>"
        Then then = Then::close;
    } cases[] = {
        {"successAt299", http(299, kConfig), "config: [Interface]"},
        {"htmlAt401", http(401, "<html>Unauthorized</html>", "Content-Type: text/html\r\n"), unexpected},
        {"emptyAt204", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", unexpected},
        {"errorStringAt200", http(200, R"({"error":"Account locked."})"), "error: Account locked."},
        {"errorStringAt401", http(401, R"({"error":"Sign in again."})", "WWW-Authenticate: Bearer\r\n"),
         "error: Sign in again."},
        {"errorStringAt400", http(400, R"({"error":"Bad."})"), "error: Bad."},
        {"errorBesideData", http(200, R"({"data":{"config":"x"},"error":"Maintenance."})"),
         "error: Maintenance."},
        {"emptyErrorString", http(503, R"({"error":""})"), "error: "},
        {"emptyEnvelopeAt404", http(404, "{}"), "error: Request failed (404)."},
        {"nullDataAt200", http(200, R"({"data":null,"error":null})"), "error: Request failed (200)."},
        {"dataAt418", http(418, kConfig), "error: Request failed (418)."},
        {"emptyConfiguration", http(200, R"({"data":{"config":""}})"),
         "error: The server did not return a usable configuration."},
        {"blankConfiguration", http(200, R"({"data":{"config":" \n\t"}})"), "config:  \n\t"},
        {"truncatedBody", partial, unreachable},
        {"notHttp", "SSH-2.0-OpenSSH_9.2\r\n\r\n", unreachable},
        {"neverAnswered", {}, unreachable, Then::hold},
        {"resetBeforeResponse", {}, unreachable, Then::reset},
        {"resetMidBody", partial, unreachable, Then::reset},
        {"stallMidBody", partial, unreachable, Then::hold},
        {"brokenGzip", http(200, "\x1f\x8b\x08\x00garbage", "Content-Encoding: gzip\r\n"), unexpected},
        {"deflatedAtTheLimit",
         http(200, deflatedConfig(ApiClient::kMaxBodyBytes), "Content-Encoding: deflate\r\n"),
         "config: [Interface]"},
        {"endlessWithLength", ok + "Content-Length: 1073741824\r\n\r\n" + pastLimit, unexpected, Then::hold},
        {"endlessChunked", ok + "Transfer-Encoding: chunked\r\n\r\n" + chunk(pastLimit), unexpected,
         Then::hold},
        {"endlessDeflated",
         ok + "Transfer-Encoding: chunked\r\nContent-Encoding: deflate\r\n\r\n" +
             chunk(deflatedConfig(4 * ApiClient::kMaxBodyBytes)),
         unexpected, Then::hold},
    };
    for (const auto& [name, response, outcome, then] : cases) {
        server.answer(response, then);
        ApiClient client(server.baseUrl(), {}, 2s);
        QString config;
        const std::optional<QString> failure = failureOf(client.wireGuardConfig(1, std::nullopt), &config);
        EXPECT_EQ(failure ? QStringLiteral("error: ") + *failure : QStringLiteral("config: ") + config,
                  outcome)
            << name;
    }
}

// A sign-in token that could not be sent is an unexpected response.
TEST(ApiClientTest, RequestsGoOutAsPrepared) {
    ApiStub server;
    server.answer(http(200, "{}"));
    server.answer(http(200, R"({"data":{"token":"abc\r\nX-Injected: yes","id":1,"name":"n"}})"), Then::close,
                  "POST auth/token");
    ApiClient client(server.baseUrl(), {});
    QCoro::Task<QList<ServerLocation>> preparedWithoutToken = client.servers();
    client.setToken(QStringLiteral("tok-1"));
    failureOf(std::move(preparedWithoutToken));
    failureOf(client.devices());
    client.setToken(QString());
    failureOf(client.account());
    client.setToken(QStringLiteral("old"));
    EXPECT_EQ(failureOf(client.login(QStringLiteral(" Anna@Example.org "),
                                     QString::fromUtf8("p\xC3\xA4ss \"word\""))),
              kUnexpected);
    failureOf(client.createDevice(QStringLiteral("Linux (box)")));
    failureOf(client.wireGuardConfig(9007199254740993LL, QStringLiteral("de-1.example")));
    failureOf(client.wireGuardConfig(-1, std::nullopt));
    failureOf(client.wireGuardConfig(2, QString()));
    // Tokens that could not go into a header as they are go nowhere.
    for (const char* unusable : {"abc\r\nX-Injected: yes", "a b", "t\xC3\xA4"}) {
        client.setToken(QString::fromUtf8(unusable));
        failureOf(client.account());
    }

    std::string routes; // and the authorization of each
    for (const auto& [route, body, authorization] : server.requests) {
        routes += route + " [" + authorization + "]\n";
    }
    EXPECT_EQ(routes,
              "GET servers []\nGET devices [Bearer tok-1]\nGET account [Bearer]\n"
              "POST auth/token [Bearer old]\nPOST devices [Bearer old]\n"
              "POST vpn/configs/wireguard [Bearer old]\nPOST vpn/configs/wireguard [Bearer old]\n"
              "POST vpn/configs/wireguard [Bearer old]\nGET account []\nGET account []\nGET account []\n");
    ASSERT_EQ(server.requests.size(), 11U);
    const auto& sent = server.requests;
    const QJsonObject login =
        QJsonDocument::fromJson(QByteArray::fromStdString(std::get<1>(sent[3]))).object();
    EXPECT_EQ(login, (QJsonObject{{QStringLiteral("email"), QStringLiteral(" Anna@Example.org ")},
                                  {QStringLiteral("password"), QString::fromUtf8("p\xC3\xA4ss \"word\"")},
                                  {QStringLiteral("name"),
                                   QStringLiteral("Linux (%1)").arg(platform::ComputerName::current())}}));
    EXPECT_EQ(std::get<1>(sent[4]), R"j({"name":"Linux (box)","platform":"linux","protocol":"wireguard"})j");
    EXPECT_EQ(std::get<1>(sent[5]), R"({"device_id":9007199254740993,"hostname":"de-1.example"})");
    EXPECT_EQ(std::get<1>(sent[6]), R"({"device_id":-1})");
    EXPECT_EQ(std::get<1>(sent[7]), R"({"device_id":2})");
}

TEST(ApiClientTest, DestroyingTheClientEndsItsOperationsAsUnreachable) {
    ApiStub server;
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

// A redirect is followed only within the API's scheme, host and port: anywhere else would receive the
// token, and from 307 and 308 the body with it. A redirect loop is followed only so far.
TEST(ApiClientRedirect, StaysWithinTheApisOrigin) {
    const struct {
        int status;
        const char* location; // {api} and {other}: the two servers' host and port; {port}: the API's port
        size_t requests;      // that reach the API: 2 when followed once; 0 for as many as Qt follows
    } cases[] = {{302, "http://{other}/api/v1/moved", 1},
                 {307, "http://{other}/api/v1/moved", 1},
                 {307, "http://localhost:{port}/api/v1/moved", 1},
                 {307, "https://{api}/api/v1/moved", 1},
                 {307, "/api/v1/moved", 2},
                 {308, "http://{api}/api/v1/moved", 2},
                 {302, "/api/v1/vpn/configs/wireguard", 0}};
    for (const auto& [status, target, requests] : cases) {
        ApiStub server;
        ApiStub other;
        const QByteArray location = QByteArray(target)
                                        .replace("{api}", QUrl(server.baseUrl()).authority().toUtf8())
                                        .replace("{other}", QUrl(other.baseUrl()).authority().toUtf8())
                                        .replace("{port}", QByteArray::number(QUrl(server.baseUrl()).port()));
        server.answer(http(status, {}, "Location: " + location + "\r\n"));
        server.answer(http(200, kConfig), Then::close, "POST moved");
        other.answer(http(200, kConfig));
        ApiClient client(server.baseUrl(), {});
        client.setToken(QStringLiteral("secret"));
        const bool followed = requests == 2;
        EXPECT_EQ(failureOf(client.wireGuardConfig(1, QStringLiteral("de-1"))),
                  followed ? std::nullopt : std::optional(kUnexpected))
            << location.constData();
        EXPECT_TRUE(other.requests.empty());
        EXPECT_EQ(server.requests.size(), requests > 0 ? requests : server.requests.size())
            << location.constData();
        if (followed && server.requests.size() == 2) {
            EXPECT_EQ(server.requests[1],
                      std::tuple("POST moved", R"({"device_id":1,"hostname":"de-1"})", "Bearer secret"));
        }
    }
}

std::string refusedIn(const std::string& source) {
    return source + " must be an https:// address; http:// is allowed only for this computer (localhost).";
}

// Every case sets or clears KORVEL_API, and no other test here reads it.
TEST(ApiClientBaseUrl, ResolvesInOrderOfPrecedence) {
    using Text = std::optional<const char*>;
    const Text none;
    const std::string unreachable = kCouldNotReach.toStdString();
    const std::string inFile = refusedIn("KorvelApiBase in {file}");
    const struct {
        Text argument, environment, infoIni;
        const char* expected;
        // What every operation fails with, where that is decided before anything leaves this computer;
        // {file} stands for the settings file the base came from.
        std::optional<std::string> failure = std::nullopt;
        Text administrator = std::nullopt; // the administrator's file, read first
    } cases[] = {
        {none, none, none, "https://api.korvel.example/api/v1/"},
        {"http://arg/v2", "http://env/", "KorvelApiBase=http://ini/", "http://arg/v2/",
         refusedIn("The API address")},
        {"", "http://env/", none, "/", unreachable},
        {"http://[::1", none, none, "", unreachable},
        {none, "http://env/api", "KorvelApiBase=http://ini/", "http://env/api/", refusedIn("KORVEL_API")},
        {none, "", "KorvelApiBase=http://ini/", "/", unreachable},
        {none, none, "KorvelApiBase=http://ini:8080/api", "http://ini:8080/api/", inFile},
        {none, none, "KorvelApiBase=\n", "https://api.korvel.example/api/v1/"},
        {none, none, "KorvelApiBase=https://ini/", "http://admin/api/", inFile,
         "KorvelApiBase=http://admin/api"},
        {none, none, "KorvelApiBase=https://ini/", "https://ini/", std::nullopt, "; nothing set\n"},
        {"https://h/api/v1/", none, none, "https://h/api/v1/"},
        {none, "http://LocalHost:1/", none, "http://localhost:1/", unreachable},
        {none, "http://127.0.0.2:1", none, "http://127.0.0.2:1/", unreachable},
        {none, "http://[::1]:1", none, "http://[::1]:1/", unreachable}};
    for (const auto& test : cases) {
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
        ApiClient client(test.argument ? std::optional(QString::fromUtf8(*test.argument)) : std::nullopt,
                         files);
        EXPECT_EQ(client.baseUrl().toString(), QString::fromUtf8(test.expected));
        if (test.failure) {
            EXPECT_EQ(failureOf(client.login(QStringLiteral("a@b"), QStringLiteral("pw"))),
                      QString::fromStdString(*test.failure)
                          .replace(QStringLiteral("{file}"), files[test.administrator ? 0 : 1]))
                << test.expected;
        }
    }
}

} // namespace
} // namespace korvel::api
