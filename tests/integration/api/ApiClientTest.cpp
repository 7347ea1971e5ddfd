#include "ApiClient.h"
#include "AwaitTask.h"
#include "CannedHttpServer.h"
#include "ComputerName.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <zlib.h>

namespace korvel::api {
namespace {

using namespace std::chrono_literals;

const QString kCouldNotReach = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kUnexpected = QStringLiteral("The server returned an unexpected response.");
const QByteArray kAccount = R"({"data":{"email":"a@b"}})";

class ApiClientTest : public testing::Test {
protected:
    std::unique_ptr<ApiClient> makeClient(std::chrono::milliseconds timeout = ApiClient::kTransferTimeout) {
        return std::make_unique<ApiClient>(server.baseUrl(), resources.path(), timeout);
    }

    QTemporaryDir resources; // holds no Info.ini
    CannedHttpServer server;
};

struct PipelineCase {
    const char* name;
    QByteArray response;
    QString failure; // empty: the account comes back
};

class ResponsePipeline : public ApiClientTest, public testing::WithParamInterface<PipelineCase> {};

TEST_P(ResponsePipeline, GivesTheSpecifiedText) {
    server.answer(GetParam().response);
    const auto client = makeClient();
    const Outcome<Account> outcome = awaitTask(client->account());
    ASSERT_FALSE(std::holds_alternative<std::monostate>(outcome)) << "the operation never ended";
    EXPECT_EQ(failureOf(outcome), GetParam().failure);
    if (GetParam().failure.isEmpty()) {
        EXPECT_EQ(std::get<Account>(outcome).email, QStringLiteral("a@b"));
    }
}

QByteArray chunked(const QByteArray& body) {
    QByteArray raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    constexpr qsizetype chunk = 1 << 20;
    for (qsizetype at = 0; at < body.size(); at += chunk) {
        const QByteArray part = body.mid(at, chunk);
        raw += QByteArray::number(part.size(), 16) + "\r\n" + part + "\r\n";
    }
    return raw + "0\r\n\r\n";
}

QByteArray gzip(const QByteArray& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// A valid account envelope padded with white space to exactly `size` bytes.
QByteArray paddedAccount(qsizetype size) { return kAccount + QByteArray(size - kAccount.size(), ' '); }

const QByteArray kHtml = "<html><body>Unauthorized</body></html>";

INSTANTIATE_TEST_SUITE_P(
    Responses, ResponsePipeline,
    testing::Values(
        PipelineCase{"success", CannedHttpServer::http(200, kAccount), {}},
        PipelineCase{"successAt201", CannedHttpServer::http(201, kAccount), {}},
        PipelineCase{"successAt299", CannedHttpServer::http(299, kAccount), {}},
        PipelineCase{"htmlAt401", CannedHttpServer::http(401, kHtml, "Content-Type: text/html\r\n"),
                     kUnexpected},
        PipelineCase{"htmlAt401WithChallenge",
                     CannedHttpServer::http(401, kHtml, "WWW-Authenticate: Basic realm=\"korvel\"\r\n"),
                     kUnexpected},
        PipelineCase{"emptyAt204", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", kUnexpected},
        PipelineCase{"emptyAt200", CannedHttpServer::http(200, ""), kUnexpected},
        PipelineCase{"errorStringAt200", CannedHttpServer::http(200, R"({"error":"Account locked."})"),
                     QStringLiteral("Account locked.")},
        PipelineCase{"errorStringAt401", CannedHttpServer::http(401, R"({"error":"Please sign in again."})"),
                     QStringLiteral("Please sign in again.")},
        PipelineCase{"errorStringAt401WithChallenge",
                     CannedHttpServer::http(401, R"({"error":"Please sign in again."})",
                                            "WWW-Authenticate: Bearer\r\n"),
                     QStringLiteral("Please sign in again.")},
        PipelineCase{"errorStringWinsOverData",
                     CannedHttpServer::http(200, R"({"data":{"email":"a@b"},"error":"Maintenance."})"),
                     QStringLiteral("Maintenance.")},
        PipelineCase{"errorObject", CannedHttpServer::http(400, R"({"error":{"message":"Bad."}})"),
                     kUnexpected},
        PipelineCase{"emptyEnvelopeAt404", CannedHttpServer::http(404, "{}"),
                     QStringLiteral("Request failed (404).")},
        PipelineCase{"noDataAt200", CannedHttpServer::http(200, R"({"meta":1})"),
                     QStringLiteral("Request failed (200).")},
        PipelineCase{"nullDataAndErrorAt200", CannedHttpServer::http(200, R"({"data":null,"error":null})"),
                     QStringLiteral("Request failed (200).")},
        PipelineCase{"dataAt500", CannedHttpServer::http(500, kAccount),
                     QStringLiteral("Request failed (500).")},
        PipelineCase{"errorStringAt400", CannedHttpServer::http(400, R"({"error":"Bad request."})"),
                     QStringLiteral("Bad request.")},
        PipelineCase{"dataAt407", CannedHttpServer::http(407, kAccount),
                     QStringLiteral("Request failed (407).")},
        PipelineCase{"redirectWithoutLocation", CannedHttpServer::http(302, kAccount), kUnexpected},
        PipelineCase{"dataAt300", CannedHttpServer::http(300, kAccount),
                     QStringLiteral("Request failed (300).")},
        PipelineCase{"dataAt505", CannedHttpServer::http(505, kAccount),
                     QStringLiteral("Request failed (505).")},
        PipelineCase{"dataAt418", CannedHttpServer::http(418, kAccount),
                     QStringLiteral("Request failed (418).")},
        PipelineCase{"listWhereObjectExpected", CannedHttpServer::http(200, R"({"data":[{"email":"a@b"}]})"),
                     kUnexpected},
        PipelineCase{"emailAsNumberAt500", CannedHttpServer::http(500, R"({"data":{"email":1}})"),
                     kUnexpected},
        PipelineCase{"trailingGarbage", CannedHttpServer::http(200, kAccount + "x"), kUnexpected},
        PipelineCase{"truncatedBody",
                     "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n" + kAccount,
                     kCouldNotReach},
        PipelineCase{"notHttp", "SSH-2.0-OpenSSH_9.2\r\n\r\n", kCouldNotReach},
        PipelineCase{"chunked", chunked(kAccount), {}},
        PipelineCase{"megabyteHeader",
                     CannedHttpServer::http(200, kAccount, "X-Padding: " + QByteArray(1 << 20, 'a') + "\r\n"),
                     {}},
        PipelineCase{"tooManyHeaders",
                     CannedHttpServer::http(200, kAccount, QByteArray("X-A: b\r\n").repeated(100000)),
                     {}},
        PipelineCase{"gzip", CannedHttpServer::http(200, gzip(kAccount), "Content-Encoding: gzip\r\n"), {}},
        PipelineCase{
            "exactlyTheLimit", CannedHttpServer::http(200, paddedAccount(ApiClient::kMaxBodyBytes)), {}},
        PipelineCase{"overTheLimit", CannedHttpServer::http(200, paddedAccount(ApiClient::kMaxBodyBytes + 1)),
                     kUnexpected},
        PipelineCase{"overTheLimitChunked", chunked(paddedAccount(ApiClient::kMaxBodyBytes + 1)),
                     kUnexpected},
        PipelineCase{"brokenGzip",
                     CannedHttpServer::http(200, "\x1f\x8b\x08\x00garbage", "Content-Encoding: gzip\r\n"),
                     kUnexpected},
        PipelineCase{"redirectToUnknownScheme",
                     CannedHttpServer::http(302, kAccount, "Location: gopher://x/\r\n"), kUnexpected},
        PipelineCase{
            "overTheLimitOnlyWhenInflated",
            CannedHttpServer::http(200, gzip(paddedAccount(64 * 1024 * 1024)), "Content-Encoding: gzip\r\n"),
            kUnexpected}),
    [](const testing::TestParamInfo<PipelineCase>& info) { return info.param.name; });

TEST_F(ApiClientTest, AnEmptyErrorStringIsStillTheServersText) {
    server.answer(CannedHttpServer::http(503, R"({"error":""})"));
    const auto client = makeClient();
    const Outcome<Account> outcome = awaitTask(client->account());
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message, QString());
}

TEST_F(ApiClientTest, ConfigurationMustNotBeEmptyButIsNotTrimmed) {
    const auto client = makeClient();
    server.answer(CannedHttpServer::http(200, R"({"data":{"config":""}})"));
    EXPECT_EQ(failureOf(awaitTask(client->wireGuardConfig(1, std::nullopt))),
              QStringLiteral("The server did not return a usable configuration."));

    server.answer(CannedHttpServer::http(200, R"({"data":{"config":" \n\t"}})"));
    const Outcome<QString> blank = awaitTask(client->wireGuardConfig(1, std::nullopt));
    ASSERT_EQ(blank.index(), 1U);
    EXPECT_EQ(std::get<1>(blank), QStringLiteral(" \n\t"));

    server.answer(
        CannedHttpServer::http(404, R"({"error":"This device is not registered on your account."})"));
    EXPECT_EQ(failureOf(awaitTask(client->wireGuardConfig(1, QStringLiteral("x")))),
              QStringLiteral("This device is not registered on your account."));
}

TEST_F(ApiClientTest, ListsDecodeAsWholes) {
    const auto client = makeClient();
    server.answer(CannedHttpServer::http(200, R"({"data":[]})"));
    const Outcome<QList<ServerLocation>> empty = awaitTask(client->servers());
    ASSERT_EQ(empty.index(), 1U);
    EXPECT_TRUE(std::get<1>(empty).isEmpty());

    server.answer(CannedHttpServer::http(
        200, R"({"data":[{"id":1,"name":"a","platform":"linux","protocol":"wireguard"},{"id":"2"}]})"));
    EXPECT_EQ(failureOf(awaitTask(client->devices())), kUnexpected);
}

TEST_F(ApiClientTest, RequestsCarryTheHeadersAndPaths) {
    server.answer(CannedHttpServer::http(200, R"({"data":[]})"));
    const auto client = makeClient();
    awaitTask(client->servers());
    client->setToken(QStringLiteral("tok-1"));
    awaitTask(client->devices());
    client->setToken(QString());
    awaitTask(client->account());

    ASSERT_EQ(server.requests().size(), 3);
    for (const CannedHttpServer::Request& request : server.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.headers.value("user-agent"), "korvel-linux/1.2");
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        EXPECT_TRUE(request.body.isEmpty());
    }
    EXPECT_EQ(server.requests()[0].target, "/api/v1/servers");
    EXPECT_FALSE(server.requests()[0].headers.contains("authorization"));
    EXPECT_EQ(server.requests()[1].target, "/api/v1/devices");
    EXPECT_EQ(server.requests()[1].headers.value("authorization"), "Bearer tok-1");
    EXPECT_EQ(server.requests()[2].target, "/api/v1/account");
    // An empty token still sends the header, with nothing after "Bearer ".
    ASSERT_TRUE(server.requests()[2].headers.contains("authorization"));
    EXPECT_EQ(server.requests()[2].headers.value("authorization"), "Bearer");
}

QJsonObject jsonBody(const CannedHttpServer::Request& request) {
    return QJsonDocument::fromJson(request.body).object();
}

TEST_F(ApiClientTest, PostsCarryTheirBodies) {
    server.answer(CannedHttpServer::http(200, "{}"));
    const auto client = makeClient();
    client->setToken(QStringLiteral("old"));
    awaitTask(client->login(QStringLiteral(" Anna@Example.org "), QString::fromUtf8("p\xC3\xA4ss \"word\"")));
    awaitTask(client->createDevice(QStringLiteral("Linux (box)")));
    awaitTask(client->wireGuardConfig(9007199254740993LL, QStringLiteral("de-fra-1.korvel.example")));
    awaitTask(client->wireGuardConfig(-1, std::nullopt));
    awaitTask(client->wireGuardConfig(2, QString()));

    ASSERT_EQ(server.requests().size(), 5);
    for (const CannedHttpServer::Request& request : server.requests()) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.headers.value("content-type"), "application/json");
        EXPECT_EQ(request.headers.value("authorization"), "Bearer old");
    }

    const CannedHttpServer::Request& login = server.requests()[0];
    EXPECT_EQ(login.target, "/api/v1/auth/token");
    const QJsonObject credentials = jsonBody(login);
    EXPECT_EQ(credentials.size(), 3);
    EXPECT_EQ(credentials.value(QStringLiteral("email")).toString(), QStringLiteral(" Anna@Example.org "));
    EXPECT_EQ(credentials.value(QStringLiteral("password")).toString(),
              QString::fromUtf8("p\xC3\xA4ss \"word\""));
    EXPECT_EQ(credentials.value(QStringLiteral("name")).toString(),
              QStringLiteral("Linux (%1)").arg(platform::ComputerName::current()));

    const CannedHttpServer::Request& device = server.requests()[1];
    EXPECT_EQ(device.target, "/api/v1/devices");
    EXPECT_EQ(jsonBody(device), (QJsonObject{{QStringLiteral("name"), QStringLiteral("Linux (box)")},
                                             {QStringLiteral("platform"), QStringLiteral("linux")},
                                             {QStringLiteral("protocol"), QStringLiteral("wireguard")}}));

    const CannedHttpServer::Request& chosen = server.requests()[2];
    EXPECT_EQ(chosen.target, "/api/v1/vpn/configs/wireguard");
    EXPECT_TRUE(chosen.body.contains("\"device_id\":9007199254740993")) << chosen.body.constData();
    EXPECT_EQ(jsonBody(chosen).value(QStringLiteral("hostname")).toString(),
              QStringLiteral("de-fra-1.korvel.example"));
    EXPECT_EQ(jsonBody(chosen).size(), 2);
    for (const int automatic : {3, 4}) {
        const QJsonObject body = jsonBody(server.requests()[automatic]);
        EXPECT_EQ(body.size(), 1);
        EXPECT_TRUE(body.value(QStringLiteral("device_id")).isDouble());
    }
    EXPECT_TRUE(server.requests()[3].body.contains("\"device_id\":-1"));
}

TEST_F(ApiClientTest, ATokenChangeAffectsOnlyLaterRequests) {
    const auto client = makeClient();
    client->setToken(QStringLiteral("first"));
    QCoro::Task<Account> pending = client->account();
    client->setToken(std::nullopt);
    server.answer(CannedHttpServer::http(200, kAccount));
    awaitTask(std::move(pending));
    awaitTask(client->account());
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests()[0].headers.value("authorization"), "Bearer first");
    EXPECT_FALSE(server.requests()[1].headers.contains("authorization"));
}

TEST_F(ApiClientTest, AStalledServerTimesOutAsUnreachable) {
    const auto client = makeClient(300ms); // the server never answers
    const Outcome<Account> outcome = awaitTask(client->account(), 10s);
    EXPECT_EQ(failureOf(outcome), kCouldNotReach);
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(ApiClientTest, ARefusedConnectionIsUnreachable) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    ApiClient client(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port), resources.path());
    EXPECT_EQ(failureOf(awaitTask(client.account())), kCouldNotReach);
}

TEST_F(ApiClientTest, DestroyingTheClientEndsItsOperationsAsUnreachable) {
    auto client = makeClient();
    Outcome<Account> outcome;
    QEventLoop loop;
    auto running = [&]() -> QCoro::Task<> {
        try {
            outcome = co_await client->account();
        } catch (const ApiError& error) {
            outcome = Failure{error.message()};
        }
        loop.quit();
    }();
    QTimer::singleShot(200ms, &loop, [&] { client.reset(); });
    QTimer::singleShot(10s, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(failureOf(outcome), kCouldNotReach);
    EXPECT_TRUE(std::holds_alternative<Failure>(outcome));
}

TEST_F(ApiClientTest, UnusableBaseUrlsFailAtTransfer) {
    for (const QString& base : {QString(), QStringLiteral("no-scheme"), QStringLiteral("http://[::1")}) {
        ApiClient client(base, resources.path());
        EXPECT_EQ(failureOf(awaitTask(client.servers())), kCouldNotReach) << base.toStdString();
    }
}

} // namespace
} // namespace korvel::api
