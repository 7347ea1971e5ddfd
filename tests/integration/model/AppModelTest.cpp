// The model against a stub of the web API on the loopback and the real preferences file, with fakes for
// the token store, login item, desktop and tunnel controller.
#include "ModelFakes.h"

#include <QTest>

#include <filesystem>

namespace korvel::model {
namespace {

using namespace test;
using tunnel::TunnelState;

const QString kUnreachable = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kFree = QStringLiteral("Free plan: unlimited data");

Answers refuse(const std::string& route, int status, const std::string& message) {
    return {{route, {status, R"({"error":")" + message + "\"}"}}};
}

// A switch-off in the desktop's own settings is the person's latest answer; an entry of ours that starts
// another copy is ours to replace or remove. A call that fails is reported, and tried again at the next
// start. (The settings screen's test turns the choice on and off.)
TEST(AppModelTest, StartsFromThePreferencesAndBringsTheLoginItemInLine) {
    using Status = platform::LoginItem::Status;
    const QString failed =
        QStringLiteral("Korvel could not update Launch at login. Check your desktop's autostart settings.");
    const std::tuple<bool, Status, bool, const char*, bool> rows[] = {
        {false, Status::notRegistered, true, "", false},
        {true, Status::notRegistered, true, "register", true},
        {true, Status::enabled, false, "", true},
        {true, Status::notRegistered, false, "register", true},
        {false, Status::enabled, false, "unregister", false},
        {true, Status::startsAnother, true, "register", true},
        {false, Status::startsAnother, true, "unregister", false},
        {true, Status::switchedOff, true, "unregister", false},
        {false, Status::switchedOff, true, "unregister", false}};
    for (const auto& [launch, status, succeeds, call, launchAfter] : rows) {
        ModelRig rig;
        rig.preferences.setFavoriteHostnames({"a"});
        rig.preferences.setRecentHostnames({"y", "x"});
        rig.preferences.setLaunchAtLogin(launch);
        rig.loginItem.enabled = status == Status::enabled;
        rig.loginItem.otherwise = status;
        rig.loginItem.succeeds = succeeds;
        const AppModel& model = rig.start();
        EXPECT_EQ(rig.loginItem.calls, *call ? Log{call} : Log{});
        EXPECT_EQ(model.settingsError(), succeeds || !*call ? std::nullopt : std::optional(failed));
        EXPECT_TRUE(model.launchAtLogin() == launchAfter && rig.preferences.launchAtLogin() == launchAfter);
        EXPECT_TRUE(model.recentHostnames() == QStringList({"y", "x"}) &&
                    model.favoriteHostnames().contains("a"));
    }
}

// A sign-in sends the trimmed email and shows every failure; an error clears at the next attempt. The
// device is the first whose name contains the computer's, or a new one. Sign-out forgets it and the plan,
// so the next account sees neither.
TEST(AppModelTest, SignInFindsTheDeviceAndShowsThePlanOrEveryFailureAndSignOutForgetsThem) {
    const QString enter = QStringLiteral("Enter your email and password.");
    const Answers unreachable{{"unreachable", {}}};
    const auto account = [](const std::string& devices, const std::string& usage) {
        return Answers{{"GET devices", {200, data("[" + devices + "]")}},
                       {"GET account", {200, data(R"({"email":"e","usage":)" + usage + "}")}}};
    };
    const struct {
        Answers answers = {};
        const char *email = "me@k", *password = "pw", *sent = "me@k";
        std::optional<QString> error = {}, token = "t1", notStored = {};
        const char* host = "Desk";
        qint64 id = 7;
        const char *registered = "", *plan = "Free plan: unlimited data, -, -"; // status line, speed, usage
    } rows[] = {
        {.email = " \t\u00A0", .sent = "", .error = enter, .token = {}},
        {.password = "", .sent = "", .error = enter, .token = {}},
        {.email = "\t\u00A0\nme@k\u3000 ", .password = "  ", .sent = "\nme@k"},
        {.answers = refuse("POST auth/token", 401, "Wrong."), .error = "Wrong.", .token = {}},
        {.answers = refuse("GET devices", 503, "Devices are resting."), .error = "Devices are resting."},
        {.answers = unreachable, .sent = "", .error = kUnreachable, .token = {}},
        {.token = {}, .notStored = "Keyring locked."},
        {.answers = account(
             device(1, "Phone") + "," + device(2, "old Linux (Desk)") + "," + device(3, "Desk"), "{}"),
         .id = 2},
        {.answers = account(device(1, "desk"), R"({"plan_is_free":false,"speed_mbps":50,"bytes_used":0})"),
         .id = 9,
         .registered = "Linux (Desk)",
         .plan = "Premium: full speed, 50, -"},
        {.answers = account("", R"({"speed_mbps":0,"bytes_used":1610612736})"),
         .host = "",
         .id = 9,
         .registered = "Linux (Linux)",
         .plan = "Free plan: unlimited data, up to 0 Mbps, 0, 1.5 GB used this month"}};
    for (const auto& row : rows) {
        ModelRig rig;
        rig.api->serve(row.answers);
        rig.tokens.notStored = row.notStored;
        rig.desktop.name = QString::fromUtf8(row.host);
        AppModel& model =
            rig.start(row.answers == unreachable ? std::optional(baseOn(freePort())) : std::nullopt);
        finish(model.login());
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        EXPECT_EQ(rig.signIn(QString::fromUtf8(row.email), QString::fromUtf8(row.password)), !row.error);
        EXPECT_EQ(model.authError(), row.error);
        EXPECT_TRUE(busyChanges == (row.error == enter ? 0 : 2) && !model.isBusy());
        EXPECT_EQ(model.email(), QString::fromUtf8(row.email));
        EXPECT_EQ(model.password(), row.token || row.notStored ? "" : row.password);
        EXPECT_TRUE(rig.tokens.stored == row.token && model.tokenStoreError() == row.notStored);
        EXPECT_EQ(rig.log, row.token || row.notStored ? Log{"save"} : Log{}); // auto-connect is off
        const QJsonObject sent = rig.api->body("POST auth/token");
        EXPECT_EQ(sent.value("email").toString(), row.sent);
        EXPECT_EQ(sent.value("password").toString(), *row.sent ? row.password : "");
        if (model.isSignedIn()) {
            EXPECT_EQ(model.device()->id, row.id);
            EXPECT_EQ(rig.api->body("POST devices").value("name").toString(), row.registered);
            const QString speed =
                model.speedMbps() ? QString::number(*model.speedMbps()) : QStringLiteral("-");
            EXPECT_EQ(model.statusLine() + ", " + speed + ", " + model.usageUsedLabel().value_or("-"),
                      row.plan);
            EXPECT_EQ(model.isFreePlan(), row.plan[0] == 'F');
            ASSERT_TRUE(finish(model.signOut()));
            EXPECT_TRUE(!model.device() && !model.isFreePlan() && !model.speedMbps() && !model.bytesUsed());
            EXPECT_TRUE(model.statusLine() == kFree && !model.usageUsedLabel());
        }
    }
}

// Every restore here starts offline and waits twice as long after each failure, up to the limit. It is
// retried once the server answers, also after a sign-in that could not reach it either; a sign-in that
// got through while the restore was under way owns the token, whatever becomes of the restore. Either
// connects when auto-connect is on.
TEST(AppModelTest, RestoreKeepsTheTokenOnlyWhileTheServerCannotBeReached) {
    const Answers broken{{"POST devices", {200, "{"}}}; // a device for a computer not yet known
    enum Meanwhile { nothing, failedSignIn, signIn };
    const std::tuple<Answers, Meanwhile, std::optional<QString>> rows[] = {
        {{}, nothing, "kept"},
        {refuse("GET account", 401, "Session expired."), nothing, std::nullopt},
        {broken, nothing, std::nullopt},
        {{}, failedSignIn, "kept"},
        {{}, signIn, "t1"}};
    for (const auto& [answers, meanwhile, stored] : rows) {
        ModelRig rig;
        const int port = freePort();
        rig.tokens.stored = QStringLiteral("kept");
        rig.desktop.name = QStringLiteral("New");
        rig.preferences.setAutoConnect(true);
        AppModel& model = rig.start(baseOn(port));
        const QTimer* retry = nullptr; // the model's own, which it starts after a failure to reach the server
        for (const QTimer* timer : model.findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) {
            retry = timer->isSingleShot() ? timer : retry;
        }
        const auto retryWait = [&] { return model.isRestoreRetryScheduled() ? retry->interval() : -1; };
        ASSERT_TRUE(finish(model.waitForRestoreAttempt())); // which may end before the model is returned
        std::vector<int> waits{retryWait()}; // as each attempt ends, the wait before the next; -1 for none
        QObject::connect(&model, &AppModel::restoreAttemptEnded, [&] { waits.push_back(retryWait()); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return waits.size() >= 4; }));
        EXPECT_EQ(std::vector(waits.begin(), waits.begin() + 4), std::vector({50, 100, 100, 100}));
        EXPECT_TRUE(model.restoreError() == kUnreachable && rig.tokens.stored == QStringLiteral("kept"));
        if (meanwhile == failedSignIn) {
            EXPECT_FALSE(rig.signIn());
            EXPECT_TRUE(model.isRestoreRetryScheduled());
        } else if (meanwhile == signIn) { // between the restore's requests, which then fail
            rig.desktop.naming = [&] {
                EXPECT_TRUE(rig.signIn());
                rig.api->serve(broken);
            };
        }
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        rig.api = std::make_unique<ApiStub>(port, answers);
        ASSERT_TRUE(QTest::qWaitFor([&] { return waits.back() == -1; }));
        EXPECT_TRUE(rig.tokens.stored == stored && model.isSignedIn() == stored.has_value());
        EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "connect [Interface]"), stored ? 1 : 0);
        EXPECT_EQ(std::get<2>(rig.api->requests.front()), "Bearer kept");
        EXPECT_EQ(busyChanges, 2 * (stored.has_value() + (meanwhile == signIn))); // restores are not busy
        EXPECT_EQ(model.authError(), meanwhile == failedSignIn ? std::optional(kUnreachable) : std::nullopt);
    }
}

// One session through every turn of the flow, each toggle from the state the one before left. A failed
// disconnect leaves the state to the interface; a failed connect shows why until the next toggle. While
// busy, and while it shows an error, a refresh changes nothing.
TEST(AppModelTest, ToggleConnectsAndDisconnectsThroughEveryTurnOfTheFlowThenSignOutTakesTheTunnelDown) {
    ModelRig rig;
    AppModel& model = rig.start();
    ASSERT_TRUE(finish(model.toggle())); // signed out: no device to connect
    EXPECT_TRUE(rig.log.empty() && model.state() == TunnelState::disconnected());
    model.setAutoConnect(true);
    rig.tunnel->up = true;
    ASSERT_TRUE(rig.signIn());
    EXPECT_EQ(rig.log, Log{"save"}); // auto-connect is on, but the tunnel is up already
    std::filesystem::remove(rig.dir / "korvel-tunneld.socket");
    ASSERT_TRUE(finish(model.toggle()));
    EXPECT_EQ(model.state().message(),
              "Korvel's tunnel service is missing. Reinstall Korvel from the installer package.");
    std::ofstream(rig.dir / "korvel-tunneld.socket");
    const Answers refused = refuse("POST vpn/configs/wireguard", 403, "Plan limit reached.");
    const Log connect{"connect [Interface]"}, disconnect{"disconnect"}, none;
    const std::tuple<const char*, const char*, bool, Answers, TunnelState, Log> steps[] = {
        {nullptr, nullptr, true, {}, TunnelState::connected(), connect},
        {"x", nullptr, true, {}, TunnelState::connected(), disconnect},
        {nullptr, nullptr, true, {}, TunnelState::disconnected(), disconnect},
        {nullptr, nullptr, false, {}, TunnelState::disconnected(), connect},
        {nullptr, nullptr, true, refused, TunnelState::error("Plan limit reached."), none},
        {"Tunnel failed.", nullptr, true, {}, TunnelState::error("Tunnel failed."), connect},
        {"!", nullptr, true, {}, TunnelState::error("Could not connect. Please try again."), connect},
        {nullptr, "ams", true, {}, TunnelState::connected(), connect}};
    int busyChanges = 0;
    QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
    for (const auto& [failure, host, bringsUp, answers, result, log] : steps) {
        rig.api->serve(answers);
        rig.tunnel->failure = failure ? std::optional(QString::fromUtf8(failure)) : std::nullopt;
        rig.tunnel->bringsUp = bringsUp;
        model.selectLocation(host ? std::optional(location(host)) : std::nullopt);
        rig.log.clear();
        busyChanges = 0;
        auto toggling = model.toggle();
        const TunnelState during = model.state();
        rig.tunnel->up = !rig.tunnel->up; // what a refresh would otherwise show
        model.refreshState();
        rig.tunnel->up = !rig.tunnel->up;
        EXPECT_EQ(model.state(), during);
        ASSERT_TRUE(finish(std::move(toggling)));
        model.refreshState();
        EXPECT_EQ(model.state(), result) << model.state().message().toStdString();
        EXPECT_TRUE(rig.log == log && busyChanges == 2 && !model.isBusy());
        const QJsonObject sent = rig.api->body("POST vpn/configs/wireguard");
        EXPECT_TRUE(sent.value("device_id").toInteger() == 7 &&
                    sent.value("hostname").toString() == (host ? host : ""));
    }
    // Sign-out takes the tunnel down first, even one that will not go, and keeps the person's choices.
    model.toggleFavorite(location("fra"));
    model.setSection(AppSection::settings);
    model.setPassword(QStringLiteral("typed"));
    rig.tunnel->failure = QStringLiteral("x");
    rig.log.clear();
    ASSERT_TRUE(finish(model.signOut()));
    EXPECT_EQ(rig.log, Log({"disconnect", "remove"}));
    EXPECT_TRUE(!model.isSignedIn() && model.email().isEmpty() && model.password().isEmpty());
    EXPECT_TRUE(model.locations().isEmpty() && !model.serversLoaded() && !model.selectedLocation() &&
                !rig.preferences.selectedHostname());
    EXPECT_TRUE(model.state() == TunnelState::disconnected() && model.section() == AppSection::connect);
    EXPECT_TRUE(model.favoriteHostnames().contains("fra") &&
                rig.preferences.recentHostnames() == QStringList{"ams"});
}

// The monitor follows the interface and notifies equal values too; its refreshes do not restart the
// session. Ten hours asleep count, as the session clock includes suspended time; a tunnel found gone
// after the sleep is lost for that reason.
TEST(AppModelTest, StateMonitorFollowsTheInterfaceAndTheSessionCountsSleep) {
    ModelRig rig;
    rig.stateInterval = 20ms;
    AppModel& model = rig.start();
    QList<TunnelState> seen; // read inside the notification: the new value must already be stored
    QObject::connect(&model, &AppModel::stateChanged, [&] { seen.append(model.state()); });
    rig.tunnel->up = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.sessionElapsed() >= 0.1; }));
    EXPECT_TRUE(seen.size() >= 2 && seen.count(TunnelState::connected()) == seen.size());
    rig.tunnel->up = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.state() == TunnelState::disconnected(); }) &&
                model.sessionElapsed() == 0);

    rig.stateInterval = 1h;
    rig.clock = 5s;
    AppModel& asleep = rig.start();
    rig.tunnel->up = true;
    asleep.refreshState();
    QList<std::optional<QString>> lost;
    QObject::connect(&asleep, &AppModel::tunnelLost, [&](const std::optional<QString>& why) { lost << why; });
    rig.clock = 5s + 10h + 1s;
    EXPECT_TRUE(QTest::qWaitFor([&] { return asleep.sessionTimeText() == "10:00:01"; }));
    rig.tunnel->up = false;
    asleep.refreshState();
    asleep.refreshState();
    EXPECT_EQ(lost,
              QList({std::optional(QStringLiteral("The tunnel went down while the computer was asleep."))}));
}

// Online whatever the case, but not padded. A stored choice waits for a list that loads, and one not among
// them is forgotten. Eight recents, newest first; favourites toggle. Only absolute addresses are opened.
TEST(AppModelTest, LoadsOnlineLocationsAndKeepsTheChoices) {
    ModelRig rig;
    rig.preferences.setSelectedHostname(QStringLiteral("ams"));
    rig.api->serve({{"GET servers", {500, R"({"error":"Busy."})"}}});
    AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    const auto shown = [&](const std::string& servers) {
        rig.api->serve({{"GET servers", {200, data("[" + servers + "]")}}});
        QStringList hosts;
        for (const api::ServerLocation& l : (finish(model.loadServers()), model.locations())) {
            hosts.append(l.hostname);
        }
        return hosts.join(u' ');
    };
    EXPECT_TRUE(model.locations().isEmpty() && !model.serversLoaded() &&
                model.selectedLocationLabel() == "Fastest location (automatic)");
    EXPECT_EQ(rig.preferences.selectedHostname(), QStringLiteral("ams"));
    EXPECT_EQ(shown(server("fra") + "," + server("ams", "ONLINE") + "," + server("lon", "online ") + "," +
                    server("nyc", "offline")),
              "fra ams");
    EXPECT_TRUE(model.serversLoaded() && model.selectedLocationLabel() == "ams City");
    EXPECT_EQ(shown(server("fra")), "fra");
    EXPECT_TRUE(!model.selectedLocation() && !rig.preferences.selectedHostname());
    rig.preferences.setSelectedHostname(QStringLiteral("nyc"));
    EXPECT_EQ(shown(server("fra") + "," + server("nyc", "offline")), "fra");
    EXPECT_TRUE(!model.selectedLocation() && !rig.preferences.selectedHostname());

    for (const char* host : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "c"}) {
        model.selectLocation(location(host));
    }
    model.selectLocation(std::nullopt);
    for (const char* host : {"Z", "b", "a", "b"}) {
        model.toggleFavorite(location(host));
    }
    const QStringList recents{"c", "i", "h", "g", "f", "e", "d", "b"};
    EXPECT_TRUE(model.recentHostnames() == recents && rig.preferences.recentHostnames() == recents);
    EXPECT_TRUE(model.favoriteHostnames() == QSet<QString>({"Z", "a"}) &&
                rig.preferences.favoriteHostnames() == model.favoriteHostnames());
    model.openUninstaller(); // the screen's test starts one that is there
    EXPECT_EQ(model.settingsError(),
              QStringLiteral("The uninstaller is missing. Reinstall Korvel to repair it."));
    for (const char* address : {"https://korvel.example/help/", "not an address", "help/", "http://a b"}) {
        model.open(QString::fromUtf8(address));
    }
    EXPECT_EQ(rig.desktop.opened, Log({"https://korvel.example/help/"}));
}

TEST(AppModelTest, ModelDestroyedWhileWaitingEndsItsTasksQuietly) {
    ModelRig rig;
    ApiStub silent;
    silent.answer({}, ApiStub::Then::hold); // never answers
    rig.tokens.stored = QStringLiteral("kept");
    rig.stateInterval = 1ms;
    AppModel& model = rig.start(silent.baseUrl());
    model.setEmail(QStringLiteral("me@k"));
    model.setPassword(QStringLiteral("pw"));
    bool ended = false;
    QObject context;
    QCoro::connect(model.login(), &context, [&] { ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.requests.size() == 2; })); // restore and sign-in
    rig.model.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended; }));
    EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
}

} // namespace
} // namespace korvel::model
