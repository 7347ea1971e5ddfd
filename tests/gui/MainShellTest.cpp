// The window around the screens: sign-in or shell, the shell's sections, its toolbar and menu, and the
// painted pieces they share.
#include "MainShell.h"

#include "AppToolbar.h"
#include "BrandPanel.h"
#include "ConnectView.h"
#include "ContentView.h"
#include "LocationsView.h"
#include "LoginView.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SettingsView.h"

#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QWindow>

namespace korvel::ui {
namespace {

using model::AppSection;

// The sign-in screen's form and brand panel side by side, clear of each other.
bool signInFits(const ContentView& view) {
    const auto* form = view.findChild<QPushButton*>(QStringLiteral("signIn"));
    const auto* panel = view.findChild<BrandPanel*>();
    return form && panel && form->isVisible() &&
           form->mapTo(&view, QPoint(form->width(), 0)).x() <= panel->mapTo(&view, QPoint()).x() &&
           panel->mapTo(&view, QPoint(panel->width(), 0)).x() <= view.width();
}

// A screen left is deleted later; here, now, so a screen that stays can be told from a new one.
void deleteLeftScreens() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(ContentViewTest, KeepsEachScreenWholeAtItsSmallestAndSwapsThemLiveOnlyWhenSignInChanges) {
    test::ModelRig rig;
    model::AppModel& model = rig.start();
    ContentView view(model);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.resize(400, 300);
    EXPECT_TRUE(signInFits(view));
    auto* login = view.findChild<LoginView*>();
    // Every assignment is announced, also of the same value: the screen (and what was typed) stays.
    emit model.isSignedInChanged();
    deleteLeftScreens();
    EXPECT_EQ(view.findChild<LoginView*>(), login);

    // An account with a plan and usage: the connect screen's footer shows what the model says.
    rig.api->serve({{"GET account",
                     {200, test::data(R"({"email":"e","usage":{"plan_is_free":true,"speed_mbps":10,)"
                                      R"("bytes_used":1610612736}})")}}});
    ASSERT_TRUE(rig.signIn());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findChild<LoginView*>() == nullptr; }));
    auto* shell = view.findChild<MainShell*>();
    ASSERT_TRUE(shell && shell->isVisible());
    const QStringList footer{model.statusLine(), model.usageUsedLabel().value_or(QString())};
    EXPECT_TRUE(test::shownLabel(view, footer[0]) && test::shownLabel(view, footer[1]));
    emit model.isSignedInChanged();
    deleteLeftScreens();
    EXPECT_EQ(view.findChild<MainShell*>(), shell);
    view.resize(400, 300);
    EXPECT_EQ(view.windowHandle()->minimumSize(), view.size()); // what the window manager is told
    EXPECT_LT(view.width(), 760);

    shell->findChild<QMenu*>()->actions().constLast()->trigger(); // sign out
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findChild<MainShell*>() == nullptr; }));
    // Signed out from the narrowest shell, the window grows to fit the sign-in screen, and nothing of
    // the account stays on it.
    EXPECT_TRUE(signInFits(view));
    test::saveScreenshot(view, QStringLiteral("sign-in-after-narrow-shell"));
    EXPECT_FALSE(test::shownLabel(view, footer[0]) || test::shownLabel(view, footer[1]));
}

TEST(MainShellTest, MenuEntriesShowOnlyTheirSectionsScreenUnderItsTitleAndKeepItWhenChosenAgain) {
    test::ModelRig rig;
    model::AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    rig.tunnel->up = true; // as a session restored at start-up finds it
    ContentView window(model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(model.state().kind(), tunnel::TunnelState::Kind::connected); // refreshed when first shown
    auto* menu = window.findChild<QMenu*>();
    QTest::mouseClick(window.findChild<AppToolbar*>()->findChild<QToolButton*>(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    test::saveScreenshot(*menu, QStringLiteral("shell-menu"));
    menu->hide();
    const QList<QAction*> actions = menu->actions();
    // As shown: a lone "&" would mark a shortcut letter instead of showing.
    ASSERT_EQ(actions[4]->iconText(), QStringLiteral("Help & support"));

    const auto screens = [&] {
        return QList<QWidget*>{window.findChild<ConnectView*>(), window.findChild<LocationsView*>(),
                               window.findChild<SettingsView*>()};
    };
    const QLabel* title = window.findChild<AppToolbar*>()->findChild<QLabel*>();
    const struct {
        int entry;
        AppSection section;
        const char* title;
        const char* screenshot;
    } rows[] = {{1, AppSection::locations, "VPN Locations", "shell-locations"},
                {2, AppSection::settings, "Preferences", "shell-settings"},
                {0, AppSection::connect, "Korvel", "shell-connect"}};
    for (const auto& row : rows) {
        actions[row.entry]->trigger();
        EXPECT_EQ(model.section(), row.section);
        deleteLeftScreens();
        const QPointer<QWidget> screen = screens()[row.entry];
        ASSERT_TRUE(screen && screen->isVisible()) << row.screenshot;
        EXPECT_EQ(screens().count(nullptr), 2) << row.screenshot;
        EXPECT_EQ(title->text(), QString::fromUtf8(row.title));
        // Across the whole bar, not the room between the menu button and the logo.
        EXPECT_EQ(title->geometry().center().x(), window.rect().center().x()) << row.title;
        test::saveScreenshot(window, QString::fromUtf8(row.screenshot));
        actions[row.entry]->trigger();
        deleteLeftScreens();
        EXPECT_TRUE(screen && screen->isVisible()) << row.screenshot;
    }
    actions[4]->trigger();
    EXPECT_EQ(rig.desktop.opened, test::Log({"https://korvel.example/help/"}));
    EXPECT_TRUE(model.isSignedIn() && model.section() == AppSection::connect);
}

} // namespace
} // namespace korvel::ui
