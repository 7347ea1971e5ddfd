// The model against a stub of the web API on the loopback and the real preferences file, with fakes for
// the token store, login item, desktop and tunnel controller.
#include "ModelFakes.h"

#include <QSettings>
#include <QTest>

#include <filesystem>

namespace korvel::model {
namespace {

using namespace test;
using api::ServerLocation;
using tunnel::TunnelState;

const QString kUnreachable = QStringLiteral("Could not reach Korvel. Check your internet connection.");
const QString kAutomatic = QStringLiteral("Fastest location (automatic)");

// A switch-off in the desktop's own settings is the person's latest answer; an entry of ours that starts
// another copy is ours to replace or remove.
TEST(AppModelTest, StartsFromThePreferencesAndBringsTheLoginItemInLine) {
    using Status = platform::LoginItem::Status;
    const std::optional<QString> failed =
        QStringLiteral("Korvel could not update Launch at login. Check your desktop's autostart settings.");
    const struct {
        bool stored, launch;
        Status status;
        bool succeeds;
        Log calls;
        std::optional<QString> error;
        bool launchAfter;
    } rows[] = {{false, false, Status::notRegistered, true, {}, {}, false},
                {true, true, Status::notRegistered, true, {"register"}, {}, true},
                {true, true, Status::enabled, false, {}, {}, true},
                {true, true, Status::notRegistered, false, {"register"}, failed, true},
                {true, false, Status::enabled, false, {"unregister"}, failed, false},
                {true, true, Status::startsAnother, true, {"register"}, {}, true},
                {true, false, Status::startsAnother, true, {"unregister"}, {}, false},
                {true, true, Status::switchedOff, true, {"unregister"}, {}, false},
                {true, false, Status::switchedOff, true, {"unregister"}, {}, false}};
    for (const auto& row : rows) {
        ModelRig rig;
        if (row.stored) {
            rig.preferences.setFavoriteHostnames({"b", "a"});
            rig.preferences.setRecentHostnames({"y", "x"});
            rig.preferences.setLaunchAtLogin(row.launch);
            rig.preferences.setAutoConnect(true);
        }
        rig.loginItem.enabled = row.status == Status::enabled;
        rig.loginItem.otherwise = row.status;
        rig.loginItem.succeeds = row.succeeds;
        const AppModel& model = rig.start();
        EXPECT_EQ(rig.loginItem.calls, row.calls);
        EXPECT_EQ(model.settingsError(), row.error);
        EXPECT_TRUE(model.launchAtLogin() == row.launchAfter &&
                    rig.preferences.launchAtLogin() == row.launchAfter);
        EXPECT_EQ(model.autoConnect(), row.stored);
        EXPECT_EQ(model.favoriteHostnames().size(), row.stored ? 2 : 0);
        EXPECT_EQ(model.recentHostnames(), row.stored ? QStringList({"y", "x"}) : QStringList());
        EXPECT_TRUE(model.statusLine() == "Free plan: unlimited data" &&
                    model.section() == AppSection::connect);
        EXPECT_TRUE(rig.api->requests.empty());
    }
    ModelRig rig; // the handlers store the choice; a failed registration is retried at the next start
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
        std::optional<QString> notStored = {};
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
        {"me@k", "pw", {}, {}, {}, "me@k", "Free plan: unlimited data", QStringLiteral("Keyring locked.")},
    };
    for (const auto& row : rows) {
        ModelRig rig;
        rig.api->serve(row.answers);
        rig.tokens.notStored = row.notStored;
        AppModel& model =
            rig.start(row.answers.contains("unreachable") ? std::optional(baseOn(freePort())) : std::nullopt);
        finish(model.login()); // an error that the next attempt clears
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        EXPECT_EQ(rig.signIn(QString::fromUtf8(row.email), QString::fromUtf8(row.password)), !row.error);
        EXPECT_EQ(model.authError(), row.error);
        EXPECT_TRUE(busyChanges == (row.error == enter ? 0 : 2) && !model.isBusy());
        EXPECT_EQ(model.email(), QString::fromUtf8(row.email));
        EXPECT_EQ(model.password(), row.token || row.notStored ? "" : row.password);
        EXPECT_EQ(rig.tokens.stored, row.token);
        EXPECT_EQ(model.tokenStoreError(), row.notStored);
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
        ModelRig rig;
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

// Every restore here starts offline and is retried once the server answers, also after a sign-in that
// could not reach it either.
TEST(AppModelTest, RestoreKeepsTheTokenOnlyWhileTheServerCannotBeReached) {
    const struct {
        Answers answers;
        bool signedIn, signInFirst = false;
    } rows[] = {
        {{}, true},
        {{{"GET account", {401, R"({"error":"Session expired."})"}}}, false},
        {{{"GET devices", {200, "{"}}}, false},
        {{}, true, true},
    };
    for (const auto& row : rows) {
        ModelRig rig;
        const int port = freePort();
        rig.tokens.stored = QStringLiteral("kept");
        AppModel& model = rig.start(baseOn(port));
        ASSERT_TRUE(finish(model.waitForRestoreAttempt()));
        EXPECT_TRUE(model.restoreError() == kUnreachable && model.isRestoreRetryScheduled());
        EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
        if (row.signInFirst) {
            EXPECT_FALSE(rig.signIn());
            EXPECT_TRUE(model.isRestoreRetryScheduled());
        }
        int busyChanges = 0;
        QObject::connect(&model, &AppModel::isBusyChanged, [&] { ++busyChanges; });
        rig.api = std::make_unique<ApiStub>(port, row.answers);
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.isSignedIn() || !rig.tokens.stored; }));
        EXPECT_EQ(model.isSignedIn(), row.signedIn);
        EXPECT_EQ(std::get<2>(rig.api->requests.front()), "Bearer kept");
        EXPECT_TRUE(!model.isRestoreRetryScheduled() && busyChanges == 0);
        EXPECT_EQ(model.authError(), row.signInFirst ? std::optional(kUnreachable) : std::nullopt);
    }
    ModelRig rig; // a stored token that could not go into a header counts as none
    rig.tokens.stored = QStringLiteral("abc\r\nX-Injected: yes");
    ASSERT_TRUE(finish(rig.start().waitForRestoreAttempt()));
    EXPECT_TRUE(rig.api->requests.empty() && !rig.model->isSignedIn());
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
        ModelRig rig;
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

// After a sign-in, and after a restore from a token store that takes its time, as a keyring does
// that waits for the person to unlock it.
TEST(AppModelTest, AutoConnectsAfterSignInOrRestoreOnlyWhenOnAndTheTunnelIsDown) {
    const struct {
        bool autoConnect, up, restored;
    } rows[] = {{true, false, false}, {true, true, false}, {false, false, false},
                {true, false, true},  {true, true, true},  {false, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        ModelRig rig;
        rig.preferences.setAutoConnect(row.autoConnect);
        rig.upAtStart = row.up;
        if (row.restored) {
            rig.tokens.stored = QStringLiteral("t1");
            rig.tokens.delay = 200ms;
            rig.start();
            ASSERT_TRUE(finish(rig.model->waitForRestoreAttempt()));
        } else {
            rig.start();
        }
        ASSERT_TRUE(row.restored ? rig.model->isSignedIn() : rig.signIn());
        const bool connects = row.autoConnect && !row.up;
        Log expected = row.restored ? Log{} : Log{"save"};
        if (connects) {
            expected.push_back("connect [Interface]");
        }
        EXPECT_EQ(rig.log, expected);
        // A sign-in is busy when it refreshes the state; a restore is not.
        EXPECT_EQ(rig.model->state() == TunnelState::connected(), connects || (row.restored && row.up));
    }
}

TEST(AppModelTest, StateMonitorFollowsTheInterfaceButLeavesBusyAndErrorStatesAlone) {
    ModelRig rig;
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

// Ten hours asleep with the tunnel up count: the session clock includes suspended time. A tunnel found
// gone after the sleep is lost for that reason.
TEST(AppModelTest, SessionTimeFollowsAClockThatCountsSuspend) {
    ModelRig rig;
    rig.clock = 5s;
    rig.upAtStart = true;
    AppModel& model = rig.start();
    QList<std::optional<QString>> lost;
    QObject::connect(&model, &AppModel::tunnelLost, [&](const std::optional<QString>& why) { lost << why; });
    model.refreshState();
    rig.clock = 5s + 10h + 1s;
    EXPECT_TRUE(QTest::qWaitFor([&] { return model.sessionTimeText() == "10:00:01"; }));
    rig.tunnel->up = false;
    model.refreshState();
    model.refreshState();
    EXPECT_EQ(lost,
              QList({std::optional(QStringLiteral("The tunnel went down while the computer was asleep."))}));
}

TEST(AppModelTest, SignOutTakesTheTunnelDownFirstAndKeepsTheUsersChoices) {
    ModelRig rig;
    rig.api->serve(
        {{"GET account",
          {200, data(R"({"email":"e","usage":{"plan_is_free":false,"speed_mbps":5,"bytes_used":9}})")}}});
    rig.loginItem.succeeds = false;
    rig.preferences.setLaunchAtLogin(true);
    AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    model.selectLocation(location("fra"));
    model.toggleFavorite(location("ams"));
    ASSERT_TRUE(finish(model.toggle()));
    model.setSection(AppSection::settings);
    model.setEmail(QString());
    model.setPassword(QStringLiteral("typed"));
    finish(model.login()); // leaves an authError
    rig.tunnel->failure = QStringLiteral("x");
    rig.log.clear();
    ASSERT_TRUE(finish(model.signOut()));
    EXPECT_EQ(rig.log, Log({"disconnect", "remove"}));
    EXPECT_TRUE(!model.isSignedIn() && !model.device() && model.email().isEmpty() && !model.serversLoaded());
    EXPECT_TRUE(model.password().isEmpty() && !model.isFreePlan() && !model.speedMbps() &&
                !model.bytesUsed() && !model.usageUsedLabel() &&
                model.statusLine() == "Free plan: unlimited data");
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
        ModelRig rig;
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
    ModelRig rig;
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
    ModelRig rig;
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
    QTest::qWait(20);
    EXPECT_TRUE(ended);
    EXPECT_EQ(rig.tokens.stored, QStringLiteral("kept"));
}

} // namespace
} // namespace korvel::model
