// The preferences section over a model built on the shared fakes.
#include "SettingsView.h"

#include "ModelFakes.h"
#include "Screenshot.h"

#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace korvel::ui {
namespace {

// The view at the size the main shell gives it in the smallest window.
struct Screen {
    explicit Screen(model::AppModel& model) : view(model) { EXPECT_TRUE(test::shown(view)); }
    QCheckBox& box(const QString& row) {
        const QList<QCheckBox*> boxes = view.findChildren<QCheckBox*>();
        return **std::ranges::find(boxes, row, &QCheckBox::accessibleName);
    }
    QLabel* label(const QString& text) { return test::shownLabel(view, text); }
    int top(const QString& text) { return label(text)->mapTo(&view, QPoint(0, 0)).y(); }

    SettingsView view;
};

TEST(SettingsViewTest, CheckBoxesWriteTheModelAndFollowItButTheKillSwitchStays) {
    test::ModelRig rig;
    rig.preferences.setLaunchAtLogin(true);
    rig.loginItem.enabled = true;
    model::AppModel& model = rig.start();
    Screen screen(model);
    test::saveScreenshot(screen.view, QStringLiteral("settings"));
    QCheckBox& autoConnect = screen.box(QStringLiteral("Auto-connect on launch"));
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    QCheckBox& showInPanel = screen.box(QStringLiteral("Show Korvel in the panel"));
    EXPECT_TRUE(!autoConnect.isChecked() && launchAtLogin.isChecked() && showInPanel.isChecked());
    QTest::mouseClick(&autoConnect, Qt::LeftButton);
    launchAtLogin.setFocus();
    QTest::keyClick(&launchAtLogin, Qt::Key_Space);
    QTest::mouseClick(&showInPanel, Qt::LeftButton);
    EXPECT_TRUE(model.autoConnect() && !model.launchAtLogin() && !model.showInPanel());

    model.setAutoConnect(false);
    model.setLaunchAtLogin(true);
    model.setShowInPanel(true);
    EXPECT_TRUE(!autoConnect.isChecked() && launchAtLogin.isChecked() && showInPanel.isChecked());

    QCheckBox& killSwitch = screen.box(QStringLiteral("Kill switch"));
    QTest::mouseClick(&killSwitch, Qt::LeftButton);
    killSwitch.setFocus();
    QTest::keyClick(&killSwitch, Qt::Key_Space);
    EXPECT_FALSE(killSwitch.isChecked() || killSwitch.isEnabled() || killSwitch.hasFocus());
}

// The sentences are the model's; the screen shows whichever there is, from either source.
TEST(SettingsViewTest, ErrorLineShowsTheModelsErrorOnlyWhileThereIsOneAndTheHeaderStaysOnScroll) {
    test::ModelRig rig;
    rig.loginItem.succeeds = false;
    Screen screen(rig.start());
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    QTest::mouseClick(&launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(rig.model->settingsError());
    EXPECT_TRUE(screen.label(*rig.model->settingsError()));
    EXPECT_TRUE(launchAtLogin.isChecked()); // stays as the user flipped it
    test::saveScreenshot(screen.view, QStringLiteral("settings-error"));
    const QString failed = *rig.model->settingsError();
    QTest::mouseClick(&launchAtLogin, Qt::LeftButton); // off again: nothing to undo, so no error
    EXPECT_FALSE(screen.label(failed) || rig.model->settingsError());
    QTest::mouseClick(screen.view.findChild<QPushButton*>(), Qt::LeftButton); // no uninstaller here
    ASSERT_TRUE(rig.model->settingsError());
    EXPECT_TRUE(screen.label(*rig.model->settingsError()));

    // In a short window the header stays while the groups scroll.
    screen.view.resize(560, 300);
    QScrollBar& bar = *screen.view.findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0);
    const int title = screen.top(QStringLiteral("Settings"));
    bar.setValue(bar.maximum());
    EXPECT_EQ(screen.top(QStringLiteral("Settings")), title);
}

} // namespace
} // namespace korvel::ui
