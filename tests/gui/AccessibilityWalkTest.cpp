// The window as a keyboard and screen-reader user meets it: keys only, through Qt's test events, while a
// separate process reads the accessible tree over the accessibility bus at each screen. Run by
// x11_session.sh.
#include "ConnectButton.h"
#include "ContentView.h"
#include "LightTheme.h"
#include "ModelFakes.h"
#include "Screenshot.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTest>

namespace korvel::ui {
namespace {

// What a screen reader says for the control with the keyboard focus, down to the row inside a list.
// Read afresh each time: without a platform bridge, Qt keeps a list's rows from before a rebuild.
QAccessibleInterface* focused() {
    QAccessibleInterface* at = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
    if (at != nullptr && at->tableInterface() != nullptr) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(at));
        at = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
    }
    for (QAccessibleInterface* inner = at ? at->focusChild() : nullptr; inner && inner != at;
         inner = at->focusChild()) {
        at = inner;
    }
    return at;
}

QString focusedText(QAccessible::Text text = QAccessible::Name) {
    QCoreApplication::processEvents();
    return focused() ? focused()->text(text) : QString();
}

// Every showing control the keyboard can reach says, over the accessibility bus, what it is and what it
// is called, and the focus is on `focusedName`. The reader's questions are answered by this thread, so
// the event loop runs while it reads.
void expectNamedWithFocusOn(const char* screen, const QString& focusedName) {
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KORVEL_ACCESSIBLE_CONTROLS),
                                                      QString::number(QCoreApplication::applicationPid())});
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, 120000)) << screen;
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QStringList controls =
        QString::fromUtf8(reader.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QString focused; // the last: a tab bar calls its current tab focused too
    for (const QString& control : controls) {
        const QString role = control.section('\t', 0, 0).remove('*'), name = control.section('\t', 1);
        EXPECT_FALSE(name.trimmed().isEmpty() || QStringList({"unknown", "filler", "panel"}).contains(role))
            << screen << ": " << control.toStdString();
        if (control.startsWith('*')) {
            focused = name;
        }
    }
    EXPECT_EQ(focused.toStdString(), focusedName.toStdString()) << screen;
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers); // to the focus, as a keyboard sends
}

void type(const QString& keys) { QTest::keyClicks(static_cast<QWidget*>(nullptr), keys); }

const test::Answers kServers{{"GET servers", {200, test::data(R"([
        {"hostname":"ber","location":"Berlin","country_code":"DE","status":"online","load":"low"},
        {"hostname":"par","location":"Paris","country_code":"FR","status":"online","load":"medium"},
        {"hostname":"ams","location":"Amsterdam","country_code":"NL","status":"online","load":"high"}])")}}};

TEST(AccessibilityWalkTest, KeysAloneSignInChooseStarConnectAndDisconnectWhileEveryControlIsNamed) {
    QPalette dark(QColor(53, 53, 53)); // as a dark desktop theme hands it to the application
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    QApplication::setPalette(dark);
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
    EXPECT_GT(focus()->palette().color(QPalette::Base).lightness(), 230); // the field stays light
    type(QStringLiteral("me@korvel.example"));
    press(Qt::Key_Return); // not from the e-mail field
    press(Qt::Key_Home);
    press(Qt::Key_Right);
    press(Qt::Key_Right);
    type(QStringLiteral("X")); // the model's copy coming back keeps the cursor where the person put it
    EXPECT_EQ(qobject_cast<QLineEdit*>(focus())->cursorPosition(), 3);
    EXPECT_TRUE(model.email() == QStringLiteral("meX@korvel.example") && !model.authError());
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
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("authError"))->text(), *model.authError());
    test::saveScreenshot(window, QStringLiteral("keyboard-sign-in-refused"));
    EXPECT_EQ(focusedText(), QStringLiteral("Password"));
    rig.api->serve(kServers);
    type(QStringLiteral("right")); // over the selection
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return qobject_cast<ConnectButton*>(focus()) != nullptr; }));
    EXPECT_EQ(rig.api->body("POST auth/token")[QStringLiteral("password")], QStringLiteral("right"));

    // The connect screen starts at the main action; the location pill follows it.
    expectNamedWithFocusOn("connect", QStringLiteral("Connect VPN"));
    press(Qt::Key_Tab);
    EXPECT_EQ(focusedText(), QStringLiteral("VPN location: Fastest location (automatic)"));
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
    EXPECT_EQ(focusedText(), QStringLiteral("Germany, Berlin, low load"));
    EXPECT_EQ(focusedText(QAccessible::Description), QStringLiteral("Press F to add Berlin to favourites"));
    press(Qt::Key_F);
    EXPECT_EQ(focusedText(), QStringLiteral("Germany, Berlin, low load, favourite"));
    press(Qt::Key_Down);
    press(Qt::Key_Right);
    EXPECT_EQ(focusedText(), QStringLiteral("Add Paris to favourites"));
    test::saveScreenshot(window, QStringLiteral("keyboard-locations-star"));
    press(Qt::Key_Space);
    EXPECT_EQ(focusedText(), QStringLiteral("Remove Paris from favourites"));
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
    EXPECT_EQ(focusedText(), QStringLiteral("Connect VPN"));

    // The menu, before the main action, leads to the settings by arrows and Return.
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focusedText(), QStringLiteral("Navigation"));
    press(Qt::Key_Space);
    auto* menu = window.findChild<QMenu*>();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    for (int entry = 0; entry < 3; ++entry) {
        press(Qt::Key_Down);
    }
    test::saveScreenshot(*menu, QStringLiteral("keyboard-menu"));
    EXPECT_GT(menu->palette().color(QPalette::Window).lightness() -
                  menu->palette().color(QPalette::Text).lightness(),
              120);
    press(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.section() == model::AppSection::settings; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return focus() != nullptr && !menu->isVisible(); }));
    expectNamedWithFocusOn("settings", QStringLiteral("Auto-connect on launch"));
}

} // namespace
} // namespace korvel::ui
