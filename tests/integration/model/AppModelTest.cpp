// The model against a stub of the web API on the loopback and the real preferences file, with fakes for
// the token store, login item, desktop and tunnel controller.
#include "AppModel.h"

#include "ApiError.h"
#include "CannedHttpServer.h"
#include "SettingsPreferences.h"
#include "TemporaryDirectory.h"

#include <QCoroTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

namespace korvel::model {
namespace {

using namespace std::chrono_literals;
using api::ServerLocation;
using tunnel::TunnelState;
using Log = std::vector<std::string>;
using Answers = std::map<std::string, std::pair<int, std::string>>; // "GET account" → status, body

const QString kUnreachable = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kAutomatic = QStringLiteral("Fastest location (automatic)");

std::string data(const std::string& json) { return R"({"data":)" + json + "}"; }
std::string device(int id, const std::string& name) {
    return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name +
           R"(","platform":"linux","protocol":"wg"})";
}
std::string server(const std::string& host, const std::string& status = "online") {
    return R"({"hostname":")" + host + R"(","location":")" + host +
           R"( City","country_code":"DE","status":")" + status + R"(","load":"low"})";
}
ServerLocation location(const char* host) {
    return {host, host + QStringLiteral(" City"), QStringLiteral("DE"), QStringLiteral("online"),
            QStringLiteral("low")};
}
int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
QString baseOn(int port) { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port); }

// The web API as a healthy account sees it, with the test's answers in place of some.
class ApiStub {
public:
    explicit ApiStub(int port = 0, const Answers& answers = {}) {
        serve(answers);
        const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(mutex_);
            const std::string route = request.method + " " + request.path.substr(std::strlen("/api/v1/"));
            requests.push_back({route, request.body, request.get_header_value("Authorization")});
            const auto [status, body] =
                answers_.contains(route) ? answers_[route] : std::pair<int, std::string>(404, "{}");
            response.status = status;
            response.set_content(body, "application/json");
        };
        server_.Get(".*", handle);
        server_.Post(".*", handle);
        port_ = port == 0 ? server_.bind_to_any_port("127.0.0.1") : port;
        EXPECT_TRUE(port == 0 || server_.bind_to_port("127.0.0.1", port));
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~ApiStub() {
        while (!server_.is_running()) { // a stop before listening would be lost
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    void serve(const Answers& answers) {
        const std::lock_guard lock(mutex_);
        answers_ = {{"POST auth/token", {200, data(R"({"token":"t1","id":1,"name":"n"})")}},
                    {"GET account", {200, data(R"({"email":"me@korvel.example"})")}},
                    {"GET devices", {200, data("[" + device(7, "Linux (Desk)") + "]")}},
                    {"POST devices", {200, data(device(9, "new"))}},
                    {"GET servers", {200, data("[" + server("fra") + "," + server("ams") + "]")}},
                    {"POST vpn/configs/wireguard", {200, data(R"({"config":"[Interface]"})")}}};
        for (const auto& [route, answer] : answers) {
            answers_[route] = answer;
        }
    }
    // The body of the last request on the route.
    QJsonObject body(const std::string& route) {
        const std::lock_guard lock(mutex_);
        QJsonObject last;
        for (const auto& [r, body, authorization] : requests) {
            last = r == route ? QJsonDocument::fromJson(QByteArray::fromStdString(body)).object() : last;
        }
        return last;
    }
    QString baseUrl() const { return baseOn(port_); }
    std::vector<std::tuple<std::string, std::string, std::string>> requests; // route, body, authorization

private:
    std::mutex mutex_;
    Answers answers_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

class Tokens final : public api::TokenStore {
public:
    explicit Tokens(Log& log) : log_(log) {}
    void save(const QString& token) override { log_.push_back("save"), stored = token; }
    std::optional<QString> load() override { return stored; }
    void remove() override { log_.push_back("remove"), stored.reset(); }
    std::optional<QString> stored;

private:
    Log& log_;
};

class LoginItem final : public platform::LoginItem {
public:
    bool isEnabled() const override { return enabled; }
    bool registerItem() override { return calls.push_back("register"), enabled = succeeds; }
    bool unregisterItem() override { return calls.push_back("unregister"), !(enabled = !succeeds); }
    bool enabled = false, succeeds = true;
    Log calls;
};

class Desktop final : public platform::Desktop {
public:
    QString computerName() const override { return name; }
    std::optional<QString> resourcesFolder() const override { return resources; }
    void openUrl(const QUrl& url) override { opened.push_back(url.toString().toStdString()); }
    void startDetached(const QString& program) override { opened.push_back(program.toStdString()); }
    QString name = QStringLiteral("Desk");
    std::optional<QString> resources;
    Log opened;
};

class Tunnel final : public tunnel::TunnelController {
public:
    explicit Tunnel(Log& log) : log_(log) {}
    QCoro::Task<> connect(QString config) override {
        log_.push_back("connect " + config.toStdString());
        co_await end();
        up = bringsUp;
    }
    QCoro::Task<> disconnect() override {
        log_.push_back("disconnect");
        co_await end();
        up = false;
    }
    bool isUp() const override { return up; }
    bool up = false, bringsUp = true;
    std::optional<QString> failure; // "!" throws something that is not an ApiError
    std::chrono::milliseconds delay{0};

private:
    QCoro::Task<> end() {
        co_await QCoro::sleepFor(delay);
        if (failure == QStringLiteral("!")) {
            throw std::runtime_error("broken");
        }
        if (failure) {
            throw api::ApiError(*failure);
        }
    }
    Log& log_;
};

// Runs the event loop until the task ends; false when it did not within the limit.
bool finish(QCoro::Task<> task) {
    QEventLoop loop;
    bool done = false;
    QCoro::connect(std::move(task), &loop, [&] { done = true, loop.quit(); });
    if (!done) {
        QTimer::singleShot(10s, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done;
}

struct Rig {
    Rig() { std::ofstream(dir / "korvel-tunneld.socket"); }
    AppModel& start(std::optional<QString> base = std::nullopt) {
        AppModelOptions options;
        options.apiBaseUrl = base.value_or(api->baseUrl());
        auto fake = std::make_unique<Tunnel>(log);
        tunnel = fake.get();
        tunnel->up = upAtStart;
        options.tunnel = std::move(fake);
        options.serviceDefinitionPath = QString::fromStdString(dir / "korvel-tunneld.socket");
        options.stateMonitorInterval = stateInterval;
        options.sessionTimerInterval = 10ms;
        options.firstRestoreRetry = 50ms;
        options.restoreRetryLimit = 100ms;
        model.reset(); // first: the old model writes preferences the new one reads
        model = std::make_unique<AppModel>(tokens, preferences, loginItem, desktop, std::move(options));
        return *model;
    }
    bool signIn(const QString& email = QStringLiteral("me@k"),
                const QString& password = QStringLiteral("pw")) {
        model->setEmail(email);
        model->setPassword(password);
        return finish(model->login()) && model->isSignedIn();
    }

    Log log;
    test::TemporaryDirectory dir;
    std::unique_ptr<ApiStub> api = std::make_unique<ApiStub>();
    platform::SettingsPreferences preferences{QString::fromStdString(dir / "korvel.conf")};
    Tokens tokens{log};
    LoginItem loginItem;
    Desktop desktop;
    bool upAtStart = false;
    std::chrono::milliseconds stateInterval = 1h;
    Tunnel* tunnel = nullptr;
    std::unique_ptr<AppModel> model;
};

TEST(AppModelTest, StartsFromThePreferencesAndBringsTheLoginItemInLine) {
    const std::optional<QString> failed =
        QStringLiteral("Korvel could not update Launch at login. Check your desktop's autostart settings.");
    const struct {
        bool stored, launch, enabled, succeeds;
        Log calls;
        std::optional<QString> error;
    } rows[] = {{false, false, false, true, {}, {}},
                {true, true, false, true, {"register"}, {}},
                {true, true, true, false, {}, {}},
                {true, true, false, false, {"register"}, failed},
                {true, false, true, false, {"unregister"}, failed}};
    for (const auto& row : rows) {
        Rig rig;
        if (row.stored) {
            rig.preferences.setFavoriteHostnames({"b", "a"});
            rig.preferences.setRecentHostnames({"y", "x"});
            rig.preferences.setLaunchAtLogin(row.launch);
            rig.preferences.setAutoConnect(true);
        }
        rig.loginItem.enabled = row.enabled;
        rig.loginItem.succeeds = row.succeeds;
        const AppModel& model = rig.start();
        EXPECT_EQ(rig.loginItem.calls, row.calls);
        EXPECT_EQ(model.settingsError(), row.error);
        EXPECT_TRUE(model.launchAtLogin() == row.launch && rig.preferences.launchAtLogin() == row.launch);
        EXPECT_EQ(model.autoConnect(), row.stored);
        EXPECT_EQ(model.favoriteHostnames().size(), row.stored ? 2 : 0);
        EXPECT_EQ(model.recentHostnames(), row.stored ? QStringList({"y", "x"}) : QStringList());
        EXPECT_TRUE(model.statusLine() == "Free plan: unlimited data" &&
                    model.section() == AppSection::connect);
        EXPECT_TRUE(rig.api->requests.empty());
    }
    Rig rig; // the handlers store the choice; a failed registration is retried at the next start
    rig.loginItem.succeeds = false;
    AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    model.setLaunchAtLogin(true);
    model.setAutoConnect(true);
    EXPECT_TRUE(model.settingsError() && rig.preferences.launchAtLogin() && rig.preferences.autoConnect());
    EXPECT_EQ(rig.log, Log({"save"})); // no connect until the next sign-in
    rig.loginItem.succeeds = true;
    EXPECT_EQ(rig.start().settingsError(), std::nullopt);
    EXPECT_EQ(rig.loginItem.calls, Log({"register", "register"}));
}

TEST(AppModelTest, SignInSendsTheTrimmedEmailAndShowsEveryFailure) {
    const QString enter = QStringLiteral("Enter your email and password.");
    const struct {
        const char *email, *password;
        Answers answers;
        std::optional<QString> error, token;
        const char *sent, *statusLine = "Free plan: unlimited data";
    } rows[] = {
        {" \t\u00A0", "pw", {}, enter, {}, ""},
        {"me@k", "", {}, enter, {}, ""},
        {"\t\u00A0\nme@k\u3000 ", "  ", {}, {}, "t1", "\nme@k"},
        {"me@k",
         "pw",
         {{"POST auth/token", {401, R"({"error":"Wrong password."})"}}},
         "Wrong password.",
         {},
         "me@k"},
        {"me@k",
         "pw",
         {{"GET account", {200, data(R"({"email":"e","usage":{"plan_is_free":false}})")}},
          {"GET devices", {503, R"({"error":"Devices are resting."})"}}},
         "Devices are resting.",
         "t1",
         "me@k",
         "Premium: full speed"},
        {"me@k", "pw", {{"unreachable", {}}}, kUnreachable, {}, ""},
    };
    for (const auto& row : rows) {
        Rig rig;
        rig.api->serve(row.answers);
        AppModel& model =
            rig.start(row.answers.contains("unreachable") ? std::optional(baseOn(freePort())) : std::nullopt);
        finish(model.login()); // an error that the next attempt clears
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        EXPECT_EQ(rig.signIn(QString::fromUtf8(row.email), QString::fromUtf8(row.password)), !row.error);
        EXPECT_EQ(model.authError(), row.error);
        EXPECT_TRUE(busyChanges == (row.error == enter ? 0 : 2) && !model.isBusy());
        EXPECT_EQ(model.email(), QString::fromUtf8(row.email));
        EXPECT_EQ(model.password(), row.token ? "" : row.password);
        EXPECT_EQ(rig.tokens.stored, row.token);
        EXPECT_EQ(model.statusLine(), row.statusLine);
        const QJsonObject sent = rig.api->body("POST auth/token");
        EXPECT_EQ(sent.value("email").toString(), row.sent);
        EXPECT_EQ(sent.value("password").toString(), *row.sent ? row.password : "");
    }
}

TEST(AppModelTest, FindsThisComputersDeviceBySubstringOrRegistersItAndShowsItsPlan) {
    const struct {
        const char* host;
        std::string devices, usage;
        qint64 id;
        const char *registered, *statusLine;
        std::optional<qint64> speed;
        std::optional<QString> used;
    } rows[] = {
        {"Desk",
         device(1, "Phone") + "," + device(2, "old Linux (Desk)") + "," + device(3, "Desk"),
         "",
         2,
         "",
         "Free plan: unlimited data",
         {},
         {}},
        {"Desk",
         device(1, "desk"),
         R"(,"usage":{"plan_is_free":false,"speed_mbps":50,"bytes_used":0})",
         9,
         "Linux (Desk)",
         "Premium: full speed",
         50,
         {}},
        {"", "", R"(,"usage":{"speed_mbps":0,"bytes_used":1610612736})", 9, "Linux (Linux)",
         "Free plan: unlimited data, up to 0 Mbps", 0, "1.5 GB used this month"},
    };
    for (const auto& row : rows) {
        Rig rig;
        rig.api->serve({{"GET devices", {200, data("[" + row.devices + "]")}},
                        {"GET account", {200, data(R"({"email":"e")" + row.usage + "}")}}});
        rig.desktop.name = QString::fromUtf8(row.host);
        rig.start();
        ASSERT_TRUE(rig.signIn());
        EXPECT_EQ(rig.model->device()->id, row.id);
        EXPECT_EQ(rig.api->body("POST devices").value("name").toString(), row.registered);
        EXPECT_TRUE(rig.model->isFreePlan() == (row.statusLine[0] == 'F'));
        EXPECT_EQ(rig.model->statusLine(), row.statusLine);
        EXPECT_EQ(rig.model->speedMbps(), row.speed);
        EXPECT_EQ(rig.model->usageUsedLabel(), row.used);
    }
}

// Every restore here starts offline and is retried once the server answers.
TEST(AppModelTest, RestoreKeepsTheTokenOnlyWhileTheServerCannotBeReached) {
    const struct {
        Answers answers;
        bool signedIn;
    } rows[] = {
        {{}, true},
        {{{"GET account", {401, R"({"error":"Session expired."})"}}}, false},
        {{{"GET devices", {200, "{"}}}, false},
        {{{"sign in meanwhile", {}}}, false},
    };
    for (const auto& row : rows) {
        Rig rig;
        const int port = freePort();
        rig.tokens.stored = QStringLiteral("kept");
        AppModel& model = rig.start(baseOn(port));
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        ASSERT_TRUE(finish(model.waitForRestoreAttempt()));
        EXPECT_TRUE(model.restoreError() == kUnreachable && model.isRestoreRetryScheduled());
        EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
        if (row.answers.contains("sign in meanwhile")) {
            EXPECT_FALSE(rig.signIn());
            EXPECT_FALSE(model.isRestoreRetryScheduled());
            EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
            continue;
        }
        rig.api = std::make_unique<ApiStub>(port, row.answers);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.isSignedIn() || !rig.tokens.stored; }));
        EXPECT_EQ(model.isSignedIn(), row.signedIn);
        EXPECT_EQ(std::get<2>(rig.api->requests.front()), "Bearer kept");
        EXPECT_TRUE(!model.isRestoreRetryScheduled() && !model.authError() && busyChanges == 0);
    }
}

TEST(AppModelTest, ToggleConnectsAndDisconnectsThroughEveryRowOfTheFlow) {
    const QString missing =
        QStringLiteral("Korvel's tunnel service is missing. Reinstall Korvel from the installer package.");
    const Answers refused{{"POST vpn/configs/wireguard", {403, R"({"error":"Plan limit reached."})"}}};
    const Log connect{"connect [Interface]"};
    enum Setup { signedOut, signedIn, up, noService, chosen, afterError };
    const struct {
        Setup setup;
        std::optional<QString> failure;
        bool bringsUp;
        Answers answers;
        TunnelState result;
        Log log;
    } rows[] = {
        {signedOut, {}, true, {}, TunnelState::disconnected(), {}},
        {up, {}, true, {}, TunnelState::disconnected(), {"disconnect"}},
        {up, "x", true, {}, TunnelState::connected(), {"disconnect"}},
        {noService, {}, true, {}, TunnelState::error(missing), {}},
        {signedIn, {}, true, {}, TunnelState::connected(), connect},
        {chosen, {}, true, {}, TunnelState::connected(), connect},
        {signedIn, {}, false, {}, TunnelState::disconnected(), connect},
        {signedIn, {}, true, refused, TunnelState::error("Plan limit reached."), {}},
        {signedIn, "Tunnel failed.", true, {}, TunnelState::error("Tunnel failed."), connect},
        {signedIn, "!", true, {}, TunnelState::error("Could not connect. Please try again."), connect},
        {afterError, {}, true, {}, TunnelState::connected(), connect},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Rig rig;
        rig.upAtStart = row.setup == up;
        AppModel& model = rig.start();
        if (row.setup != signedOut) {
            ASSERT_TRUE(rig.signIn());
            model.refreshState(); // as the main shell does when it appears; sign-in was busy
        }
        if (row.setup == afterError) {
            rig.api->serve(refused);
            ASSERT_TRUE(finish(model.toggle()));
        }
        if (row.setup == chosen) {
            model.selectLocation(location("ams"));
        }
        if (row.setup == noService) {
            std::filesystem::remove(rig.dir / "korvel-tunneld.socket");
        }
        rig.api->serve(row.answers);
        rig.tunnel->failure = row.failure;
        rig.tunnel->bringsUp = row.bringsUp;
        rig.log.clear();
        const auto before = rig.api->requests.size();
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        ASSERT_TRUE(finish(model.toggle()));
        EXPECT_EQ(model.state(), row.result) << model.state().message().toStdString();
        EXPECT_EQ(rig.log, row.log);
        EXPECT_TRUE(busyChanges == (row.setup == signedOut || row.setup == noService ? 0 : 2) &&
                    !model.isBusy());
        if (rig.api->requests.size() > before) {
            const QJsonObject sent = rig.api->body("POST vpn/configs/wireguard");
            EXPECT_EQ(sent.value("device_id").toInteger(), 7);
            EXPECT_EQ(sent.value("hostname").toString(), row.setup == chosen ? "ams" : "");
        }
    }
}

TEST(AppModelTest, AutoConnectsAfterSignInOnlyWhenOnAndTheTunnelIsDown) {
    for (const auto& [autoConnect, up] : {std::pair(true, false), {true, true}, {false, false}}) {
        Rig rig;
        rig.preferences.setAutoConnect(autoConnect);
        rig.upAtStart = up;
        rig.start();
        ASSERT_TRUE(rig.signIn());
        const bool connects = autoConnect && !up;
        EXPECT_EQ(rig.log, connects ? Log({"save", "connect [Interface]"}) : Log({"save"}));
        EXPECT_EQ(rig.model->state() == TunnelState::connected(), connects);
    }
}

TEST(AppModelTest, StateMonitorFollowsTheInterfaceButLeavesBusyAndErrorStatesAlone) {
    Rig rig;
    rig.stateInterval = 20ms;
    AppModel& model = rig.start();
    QList<TunnelState> seen; // read inside the notification: the new value must already be stored
    QObject::connect(&model, &AppModel::stateChanged, [&] { seen.append(model.state()); });
    rig.tunnel->up = true;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return model.sessionElapsed() >= 0.1; })); // refreshes do not restart it
    EXPECT_TRUE(seen.size() >= 2 && seen.count(TunnelState::connected()) == seen.size()); // equal values too
    rig.tunnel->up = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.state() == TunnelState::disconnected(); }));
    EXPECT_EQ(model.sessionElapsed(), 0);

    ASSERT_TRUE(rig.signIn());
    rig.tunnel->delay = 200ms;
    auto connecting = model.toggle();
    rig.tunnel->up = true;
    QTest::qWait(100);
    EXPECT_EQ(model.state(), TunnelState::connecting());
    ASSERT_TRUE(finish(std::move(connecting)));
    rig.tunnel->up = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.state() == TunnelState::disconnected(); }));
    rig.tunnel->failure = QStringLiteral("Gone.");
    ASSERT_TRUE(finish(model.toggle()));
    rig.tunnel->up = true;
    QTest::qWait(100);
    EXPECT_EQ(model.state(), TunnelState::error("Gone."));
}

TEST(AppModelTest, SignOutTakesTheTunnelDownFirstAndKeepsTheUsersChoices) {
    Rig rig;
    rig.loginItem.succeeds = false;
    rig.preferences.setLaunchAtLogin(true);
    AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    model.selectLocation(location("fra"));
    model.toggleFavorite(location("ams"));
    ASSERT_TRUE(finish(model.toggle()));
    model.setSection(AppSection::settings);
    model.setEmail(QString());
    finish(model.login()); // leaves an authError
    rig.tunnel->failure = QStringLiteral("x");
    rig.log.clear();
    ASSERT_TRUE(finish(model.signOut()));
    EXPECT_EQ(rig.log, Log({"disconnect", "remove"}));
    EXPECT_TRUE(!model.isSignedIn() && !model.device() && model.email().isEmpty() && !model.serversLoaded());
    EXPECT_TRUE(model.locations().isEmpty() && !model.selectedLocation() &&
                !rig.preferences.selectedHostname());
    EXPECT_TRUE(model.state() == TunnelState::disconnected() && model.section() == AppSection::connect);
    EXPECT_TRUE(model.favoriteHostnames().contains("ams") &&
                rig.preferences.recentHostnames() == QStringList{"fra"});
    EXPECT_TRUE(model.authError() && model.settingsError() && model.launchAtLogin());
    ASSERT_TRUE(rig.signIn());
    EXPECT_EQ(model.selectedLocationLabel(), kAutomatic);
}

TEST(AppModelTest, LoadsOnlineLocationsAndForgetsAStoredChoiceThatIsNotAmongThem) {
    const std::string mixed = "[" + server("fra") + "," + server("ams", "ONLINE") + "," +
                              server("lon", "online ") + "," + server("nyc", "offline") + "]";
    const struct {
        std::pair<int, std::string> servers;
        const char* stored;
        QStringList shown;
        std::optional<QString> chosen;
    } rows[] = {
        {{200, data(mixed)}, "ams", {"fra", "ams"}, "ams"},
        {{200, data(mixed)}, "nyc", {"fra", "ams"}, {}},
        {{200, data("[" + server("nyc", "offline") + "]")}, "fra", {}, {}},
        {{500, R"({"error":"Busy."})"}, "fra", {}, "fra"}, // nothing changes, the choice waits
    };
    for (const auto& row : rows) {
        Rig rig;
        rig.api->serve({{"GET servers", row.servers}});
        rig.preferences.setSelectedHostname(QString::fromUtf8(row.stored));
        AppModel& model = rig.start();
        ASSERT_TRUE(rig.signIn());
        QStringList shown;
        for (const ServerLocation& l : model.locations()) {
            shown.append(l.hostname);
        }
        const bool loaded = row.servers.first == 200;
        EXPECT_EQ(shown, row.shown);
        EXPECT_EQ(model.serversLoaded(), loaded);
        EXPECT_EQ(model.selectedLocationLabel(), loaded && row.chosen ? *row.chosen + " City" : kAutomatic);
        EXPECT_EQ(rig.preferences.selectedHostname(), row.chosen);
    }
}

TEST(AppModelTest, KeepsEightRecentsNewestFirstAndStoresFavouritesSorted) {
    Rig rig;
    AppModel& model = rig.start();
    for (const char* host : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "c"}) {
        model.selectLocation(location(host));
    }
    model.selectLocation(std::nullopt);
    const QStringList recents{"c", "i", "h", "g", "f", "e", "d", "b"};
    EXPECT_TRUE(model.recentHostnames() == recents && rig.preferences.recentHostnames() == recents);
    for (const char* host : {"\u00E9", "Z", "b", "a", "b"}) {
        model.toggleFavorite(location(host));
    }
    EXPECT_EQ(model.favoriteHostnames(), QSet<QString>({"\u00E9", "Z", "a"}));
    const QSettings stored(QString::fromStdString(rig.dir / "korvel.conf"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("favoriteHostnames").toStringList(), QStringList({"Z", "a", "\u00E9"}));
}

TEST(AppModelTest, OpensTheUninstallerOrSaysItIsMissingAndOpensOnlyAddresses) {
    Rig rig;
    AppModel& model = rig.start();
    const std::string tool = rig.dir / "Uninstall Korvel/Uninstall Korvel.tool";
    model.openUninstaller();
    EXPECT_EQ(model.settingsError(),
              QStringLiteral("The uninstaller is missing. Reinstall Korvel to repair it."));
    rig.desktop.resources = QString::fromStdString(rig.dir.path());
    model.openUninstaller();
    std::filesystem::create_directory(rig.dir / "Uninstall Korvel");
    std::ofstream{tool};
    model.openUninstaller();
    EXPECT_TRUE(model.settingsError()); // a launch does not clear an earlier error
    for (const char* address : {"https://korvel.example/help/", "not an address", "", "http://a b"}) {
        model.open(QString::fromUtf8(address));
    }
    EXPECT_EQ(rig.desktop.opened, Log({tool, "https://korvel.example/help/"}));
}

TEST(AppModelTest, ModelDestroyedWhileWaitingEndsItsTasksQuietly) {
    Rig rig;
    api::CannedHttpServer silent; // never answers
    rig.tokens.stored = QStringLiteral("kept");
    rig.stateInterval = 1ms;
    AppModel& model = rig.start(silent.baseUrl());
    model.setEmail(QStringLiteral("me@k"));
    model.setPassword(QStringLiteral("pw"));
    bool ended = false;
    QObject context;
    QCoro::connect(model.login(), &context, [&] { ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.requests().size() == 2; })); // restore and sign-in
    rig.model.reset();
    QTest::qWait(20);
    EXPECT_TRUE(ended);
    EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
}

} // namespace
} // namespace korvel::model
