#include "MainShell.h"

#include "ConnectView.h"
#include "ContentView.h"
#include "LocationsView.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SettingsView.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

using model::AppSection;
using test::ModelRig;

TEST(MainShellTest, RefreshesTheTunnelStateOnceWhenFirstShown) {
    ModelRig rig;
    model::AppModel& model = rig.start();
    rig.tunnel->up = true;
    QSignalSpy refreshed(&model, &model::AppModel::stateChanged);
    MainShell shell(model);
    EXPECT_EQ(refreshed.count(), 0);
    shell.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shell));
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_EQ(model.state(), tunnel::TunnelState::connected());
    shell.hide();
    shell.show();
    EXPECT_EQ(refreshed.count(), 1);
}

TEST(MainShellTest, ShowsTheSectionsScreenAndKeepsItWhenTheSameSectionIsChosenAgain) {
    ModelRig rig;
    model::AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    ContentView window(model);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* shell = window.findChild<MainShell*>();
    ASSERT_NE(shell, nullptr);

    const auto screenOf = [&](AppSection section) -> QWidget* {
        switch (section) {
        case AppSection::connect:
            return shell->findChild<ConnectView*>();
        case AppSection::locations:
            return shell->findChild<LocationsView*>();
        case AppSection::settings:
            return shell->findChild<SettingsView*>();
        }
        return nullptr;
    };
    const struct {
        AppSection section;
        const char* screenshot;
    } rows[] = {{AppSection::locations, "shell-locations"},
                {AppSection::settings, "shell-settings"},
                {AppSection::connect, "shell-connect"}};
    for (const auto& row : rows) {
        model.setSection(row.section);
        QTest::qWait(5); // the screen left is deleted later
        QWidget* screen = screenOf(row.section);
        ASSERT_NE(screen, nullptr) << row.screenshot;
        EXPECT_TRUE(screen->isVisible());
        EXPECT_EQ(shell->findChildren<ConnectView*>().size() + shell->findChildren<LocationsView*>().size() +
                      shell->findChildren<SettingsView*>().size(),
                  1);
        // The screen takes all the room below the 52 bar and the 1 divider.
        EXPECT_EQ(screen->geometry(), QRect(0, 53, shell->width(), shell->height() - 53)) << row.screenshot;
        test::saveScreenshot(window, QString::fromUtf8(row.screenshot));
        const QPointer<QWidget> kept = screen;
        model.setSection(row.section);
        QTest::qWait(5);
        EXPECT_TRUE(kept && kept->isVisible()) << row.screenshot;
    }
}

} // namespace
} // namespace korvel::ui
