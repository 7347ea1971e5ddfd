// The window as a keyboard and screen-reader user meets it: keys only, through Qt's test events, while a
// separate process reads the accessible tree over the accessibility bus. Run by x11_session.sh.
#include "ConnectButton.h"
#include "ContentView.h"
#include "LightTheme.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

struct Control {
    QString role, name, description;
    QStringList states;
};

struct Tree {
    QList<Control> controls; // showing and focusable
    std::optional<Control> focused;
};

Control control(const QJsonObject& object) {
    QStringList states;
    for (const QJsonValue& state : object[QStringLiteral("states")].toArray()) {
        states << state.toString();
    }
    return {object[QStringLiteral("role")].toString(), object[QStringLiteral("name")].toString(),
            object[QStringLiteral("description")].toString(), states};
}

// What a screen reader finds in this process's windows now. The reader's questions are answered by
// this thread, so the event loop runs while it reads.
Tree readTree() {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KORVEL_ACCESSIBLE_CONTROLS),
                                                      QString::number(QCoreApplication::applicationPid())});
    EXPECT_TRUE(QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QJsonObject found = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    Tree tree;
    for (const QJsonValue& each : found[QStringLiteral("controls")].toArray()) {
        tree.controls << control(each.toObject());
    }
    if (found[QStringLiteral("focused")].isObject()) {
        tree.focused = control(found[QStringLiteral("focused")].toObject());
    }
    return tree;
}

std::string text(const Control& control) {
    return (control.role + QStringLiteral(" \"") + control.name + QStringLiteral("\" (") +
            control.description + QStringLiteral(")"))
        .toStdString();
}

// Every control the keyboard can reach says what it is and what it is called; the focus is on `focused`.
void expectNamedWithFocusOn(const char* screen, const QString& focusedName) {
    const Tree tree = readTree();
    EXPECT_FALSE(tree.controls.isEmpty()) << screen;
    for (const Control& each : tree.controls) {
        EXPECT_FALSE(each.name.trimmed().isEmpty()) << screen << ": " << text(each);
        EXPECT_FALSE(
            QStringList({"unknown", "invalid", "filler", "panel", "redundant object"}).contains(each.role))
            << screen << ": " << text(each);
    }
    ASSERT_TRUE(tree.focused) << screen;
    EXPECT_EQ(tree.focused->name, focusedName) << screen << ": " << text(*tree.focused);
}

std::optional<Control> focusedControl() { return readTree().focused; }

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers); // to the focus, as a keyboard sends
}

void type(const QString& keys) { QTest::keyClicks(static_cast<QWidget*>(nullptr), keys); }

const test::Answers kServers{{"GET servers", {200, test::data(R"([
        {"hostname":"ber","location":"Berlin","country_code":"DE","status":"online","load":"low"},
        {"hostname":"par","location":"Paris","country_code":"FR","status":"online","load":"medium"},
        {"hostname":"ams","location":"Amsterdam","country_code":"NL","status":"online","load":"high"}])")}}};

TEST(AccessibilityWalkTest, KeysAloneSignInChooseStarConnectAndDisconnectWhileEveryControlIsNamed) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        GTEST_SKIP() << "needs an X display and the accessibility bus: run through x11_session.sh";
    }
    LightTheme::apply();
    test::ModelRig rig;
    rig.api->serve(kServers);
    model::AppModel& model = rig.start();
    ContentView window(model);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto focus = [] { return QApplication::focusWidget(); };

    // Signing in: e-mail, Tab, password, Return; a refused password comes back selected.
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus() && focus()->objectName() == QStringLiteral("email"); }));
    expectNamedWithFocusOn("sign-in", QStringLiteral("Email"));
    type(QStringLiteral("me@korvel.example"));
    press(Qt::Key_Tab);
    type(QStringLiteral("wrong"));
    auto answers = kServers;
    answers["POST auth/token"] = {401, R"({"error":"Wrong email or password."})"};
    rig.api->serve(answers);
    press(Qt::Key_Return);
    auto* password = window.findChild<QLineEdit*>(QStringLiteral("password"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.authError() && !model.isBusy(); }));
    EXPECT_EQ(focus(), password);
    EXPECT_EQ(password->selectedText(), QStringLiteral("wrong"));
    test::saveScreenshot(window, QStringLiteral("keyboard-sign-in-refused"));
    EXPECT_EQ(focusedControl()->name, QStringLiteral("Password"));
    rig.api->serve(kServers);
    type(QStringLiteral("right")); // over the selection
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<ConnectButton*>(focus()) != nullptr; }));
    EXPECT_EQ(rig.api->body("POST auth/token")[QStringLiteral("password")], QStringLiteral("right"));

    // The connect screen starts at the main action; the location pill follows it.
    expectNamedWithFocusOn("connect", QStringLiteral("Connect VPN"));
    test::saveScreenshot(window, QStringLiteral("keyboard-connect"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focusedControl()->name, QStringLiteral("VPN location: Fastest location (automatic)"));
    test::saveScreenshot(window, QStringLiteral("keyboard-connect-location"));
    press(Qt::Key_Space);

    // Locations: the search first; Escape clears it, then Down to Smart Location and the rows.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.section() == model::AppSection::locations; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<QLineEdit*>(focus()) != nullptr; }));
    type(QStringLiteral("par"));
    press(Qt::Key_Escape);
    EXPECT_EQ(qobject_cast<QLineEdit*>(focus())->text(), QString());
    EXPECT_EQ(model.section(), model::AppSection::locations);
    press(Qt::Key_Down);
    expectNamedWithFocusOn("locations", QStringLiteral("Smart Location, selected"));
    press(Qt::Key_Down);
    Control row = *focusedControl();
    EXPECT_EQ(row.name, QStringLiteral("Germany, Berlin, low load")) << text(row);
    EXPECT_EQ(row.description, QStringLiteral("Press F to add Berlin to favourites"));
    press(Qt::Key_F);
    EXPECT_EQ(focusedControl()->name, QStringLiteral("Germany, Berlin, low load, favourite"));
    press(Qt::Key_Down);
    test::saveScreenshot(window, QStringLiteral("keyboard-locations-row"));
    press(Qt::Key_Right);
    EXPECT_EQ(focusedControl()->name, QStringLiteral("Add Paris to favourites"));
    test::saveScreenshot(window, QStringLiteral("keyboard-locations-star"));
    press(Qt::Key_Space);
    EXPECT_EQ(focusedControl()->name, QStringLiteral("Remove Paris from favourites"));
    EXPECT_EQ(model.favoriteHostnames(), QSet<QString>({QStringLiteral("ber"), QStringLiteral("par")}));
    press(Qt::Key_Left);
    press(Qt::Key_Return);

    // Back on the connect screen with Paris chosen: Space connects, and Space again disconnects.
    ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<ConnectButton*>(focus()) != nullptr; }));
    ASSERT_TRUE(model.selectedLocation());
    EXPECT_EQ(model.selectedLocation()->hostname, QStringLiteral("par"));
    press(Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return model.state() == tunnel::TunnelState::connected() && !model.isBusy(); }));
    EXPECT_TRUE(qobject_cast<ConnectButton*>(focus()));
    expectNamedWithFocusOn("connected", QStringLiteral("Disconnect VPN"));
    test::saveScreenshot(window, QStringLiteral("keyboard-connected"));
    press(Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return model.state() == tunnel::TunnelState::disconnected() && !model.isBusy(); }));
    EXPECT_EQ(focusedControl()->name, QStringLiteral("Connect VPN"));

    // The menu, before the main action, leads to the settings by arrows and Return.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    press(Qt::Key_Space);
    auto* menu = window.findChild<QMenu*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    for (int entry = 0; entry < 3; ++entry) {
        press(Qt::Key_Down);
    }
    test::saveScreenshot(*menu, QStringLiteral("keyboard-menu"));
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.section() == model::AppSection::settings; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus() != nullptr && !menu->isVisible(); }));
    expectNamedWithFocusOn("settings", QStringLiteral("Auto-connect on launch"));
    test::saveScreenshot(window, QStringLiteral("keyboard-settings"));
}

TEST(SingleInstanceTest, ALaterStartOnTheSameSessionAsksTheFirstForItsWindow) {
    const QDBusConnection first = QDBusConnection::sessionBus();
    if (!first.isConnected()) {
        GTEST_SKIP() << "needs a session bus: run through x11_session.sh";
    }
    const QDBusConnection second =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second"));
    SingleInstance running(first);
    QSignalSpy raised(&running, &SingleInstance::activated);
    ASSERT_TRUE(running.claim());
    SingleInstance later(second);
    EXPECT_FALSE(later.claim());
    EXPECT_EQ(raised.count(), 1);
}

} // namespace
} // namespace korvel::ui
