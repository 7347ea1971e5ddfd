// The preferences section over a model built on the shared fakes.
#include "SettingsView.h"

#include "ModelFakes.h"
#include "Screenshot.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <filesystem>

namespace korvel::ui {
namespace {

using test::Log;

const QString kLoginItemFailed =
    QStringLiteral("Korvel could not update Launch at login. Check your desktop's autostart settings.");

// The view at the size the main shell gives it in the smallest window.
struct Screen {
    explicit Screen(model::AppModel& model, QSize size = {560, 627}) : view(model) {
        view.resize(size);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QCheckBox& box(const QString& row) {
        for (QCheckBox* box : view.findChildren<QCheckBox*>()) {
            if (box->accessibleName() == row) {
                return *box;
            }
        }
        throw std::runtime_error("no row " + row.toStdString());
    }
    QLabel* label(const QString& text) {
        for (QLabel* label : view.findChildren<QLabel*>()) {
            if (label->text() == text && label->isVisible()) {
                return label;
            }
        }
        return nullptr;
    }
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
    EXPECT_TRUE(screen.label(QStringLiteral("PRIVACY AND SECURITY"))); // group titles in upper case
    QCheckBox& autoConnect = screen.box(QStringLiteral("Auto-connect on launch"));
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    EXPECT_FALSE(autoConnect.isChecked());
    EXPECT_TRUE(launchAtLogin.isChecked());

    QTest::mouseClick(&autoConnect, Qt::LeftButton);
    EXPECT_TRUE(model.autoConnect() && rig.preferences.autoConnect());
    launchAtLogin.setFocus();
    QTest::keyClick(&launchAtLogin, Qt::Key_Space);
    EXPECT_FALSE(model.launchAtLogin() || rig.preferences.launchAtLogin());
    EXPECT_EQ(rig.loginItem.calls, Log{"unregister"});
    EXPECT_TRUE(rig.log.empty()); // turning auto-connect on connects nothing now

    model.setAutoConnect(false);
    model.setLaunchAtLogin(true);
    EXPECT_FALSE(autoConnect.isChecked());
    EXPECT_TRUE(launchAtLogin.isChecked());

    QCheckBox& showInPanel = screen.box(QStringLiteral("Show Korvel in the panel"));
    EXPECT_TRUE(showInPanel.isChecked()); // on unless turned off
    QTest::mouseClick(&showInPanel, Qt::LeftButton);
    EXPECT_FALSE(model.showInPanel() || rig.preferences.showInPanel());

    QCheckBox& killSwitch = screen.box(QStringLiteral("Kill switch"));
    QTest::mouseClick(&killSwitch, Qt::LeftButton);
    killSwitch.setFocus();
    QTest::keyClick(&killSwitch, Qt::Key_Space);
    EXPECT_FALSE(killSwitch.isChecked() || killSwitch.isEnabled() || killSwitch.hasFocus());
}

TEST(SettingsViewTest, ErrorLineShowsOnlyWhileTheModelHasAnError) {
    test::ModelRig rig;
    rig.loginItem.succeeds = false;
    Screen screen(rig.start());
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    EXPECT_FALSE(screen.label(kLoginItemFailed));
    QTest::mouseClick(&launchAtLogin, Qt::LeftButton);
    EXPECT_TRUE(screen.label(kLoginItemFailed));
    EXPECT_TRUE(launchAtLogin.isChecked()); // stays as the user flipped it
    test::saveScreenshot(screen.view, QStringLiteral("settings-error"));
    QTest::mouseClick(&launchAtLogin, Qt::LeftButton); // off again: nothing to undo, so no error
    EXPECT_FALSE(screen.label(kLoginItemFailed));
}

TEST(SettingsViewTest, OpenUninstallerStartsTheToolOrShowsItMissing) {
    const QString missing = QStringLiteral("The uninstaller is missing. Reinstall Korvel to repair it.");
    const std::string tool = "Uninstall Korvel/Uninstall Korvel.tool";
    for (const int step : {0, 1, 2}) { // no resources folder, one without the tool, the tool
        test::ModelRig rig;
        if (step > 0) {
            rig.desktop.resources = QString::fromStdString(rig.dir.path().string());
            std::filesystem::create_directory(rig.dir.path() / "Uninstall Korvel");
        }
        if (step == 2) {
            std::ofstream(rig.dir / tool);
        }
        Screen screen(rig.start());
        QTest::mouseClick(screen.view.findChild<QPushButton*>(), Qt::LeftButton);
        EXPECT_EQ(rig.desktop.opened, step == 2 ? Log{rig.dir / tool} : Log{}) << step;
        EXPECT_EQ(screen.label(missing) == nullptr, step == 2) << step;
    }
}

TEST(SettingsViewTest, HeaderStaysWhileTheGroupsScroll) {
    test::ModelRig rig;
    Screen screen(rig.start(), {560, 300});
    QScrollBar& bar = *screen.view.findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0);
    const int title = screen.top(QStringLiteral("Settings"));
    const int maintenance = screen.top(QStringLiteral("MAINTENANCE"));
    bar.setValue(bar.maximum());
    EXPECT_EQ(screen.top(QStringLiteral("Settings")), title);
    EXPECT_EQ(screen.top(QStringLiteral("MAINTENANCE")), maintenance - bar.maximum());
}

} // namespace
} // namespace korvel::ui
