// The preferences section over a model built on the shared fakes.
#include "SettingsView.h"

#include "ModelFakes.h"
#include "Palette.h"
#include "Screenshot.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <functional>

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
    template <class W>
    W& find(const std::function<bool(W*)>& match) {
        for (W* widget : view.findChildren<W*>()) {
            if (match(widget)) {
                return *widget;
            }
        }
        throw std::runtime_error("not shown");
    }
    QCheckBox& box(const QString& row) {
        return find<QCheckBox>([&](QCheckBox* box) { return box->accessibleName() == row; });
    }
    bool shows(const QString& text) {
        const QList<QLabel*> labels = view.findChildren<QLabel*>();
        return std::any_of(labels.begin(), labels.end(),
                           [&](QLabel* label) { return label->text() == text && label->isVisible(); });
    }
    QLabel& label(const QString& text) {
        return find<QLabel>([&](QLabel* label) { return label->text() == text && label->isVisible(); });
    }
    // Where the widget is drawn in the view, once the layouts have settled.
    QRect place(QWidget& widget) {
        QCoreApplication::processEvents();
        return {widget.mapTo(&view, QPoint(0, 0)), widget.size()};
    }
    QRect group(const QString& title) { return place(*label(title).parentWidget()); }
    // The empty space between two places, one above the other.
    static int gap(const QRect& above, const QRect& below) { return below.top() - above.bottom() - 1; }

    SettingsView view;
};

TEST(SettingsViewTest, ShowsTheGroupsInUpperCaseInFramedBoxes) {
    test::ModelRig rig;
    Screen screen(rig.start());
    test::saveScreenshot(screen.view, QStringLiteral("settings"));

    for (const char* text : {"Settings", "Preferences for Korvel on this computer.", "CONNECTION", "Protocol",
                             "Our VPN protocol", "STARTUP", "Open Korvel when you log in.",
                             "PRIVACY AND SECURITY", "MAINTENANCE"}) {
        EXPECT_TRUE(screen.shows(QString::fromUtf8(text))) << text;
    }
    EXPECT_FALSE(screen.shows(QStringLiteral("Privacy and security")));
    EXPECT_EQ(screen.view.findChild<QPushButton*>()->text(), QStringLiteral("Open uninstaller\u2026"));

    // A gray200 outline around gray50, on the white page.
    const QImage image = screen.view.grab().toImage();
    const QRect box = screen.group(QStringLiteral("CONNECTION"));
    const int middle = box.center().y();
    EXPECT_EQ(image.pixelColor(box.left() - 1, middle), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(box.left(), middle), palette::gray200);
    EXPECT_EQ(image.pixelColor(box.left() + 5, middle), palette::gray50);
    EXPECT_EQ(image.pixelColor(box.right(), middle), palette::gray200);
}

TEST(SettingsViewTest, CheckBoxesWriteTheModelAndFollowIt) {
    test::ModelRig rig;
    rig.preferences.setLaunchAtLogin(true);
    rig.loginItem.enabled = true;
    model::AppModel& model = rig.start();
    Screen screen(model);
    QCheckBox& autoConnect = screen.box(QStringLiteral("Auto-connect on launch"));
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    EXPECT_FALSE(autoConnect.isChecked());
    EXPECT_TRUE(launchAtLogin.isChecked());

    QTest::mouseClick(&autoConnect, Qt::LeftButton);
    EXPECT_TRUE(model.autoConnect() && rig.preferences.autoConnect() && autoConnect.isChecked());
    launchAtLogin.setFocus();
    QTest::keyClick(&launchAtLogin, Qt::Key_Space);
    EXPECT_FALSE(model.launchAtLogin() || rig.preferences.launchAtLogin() || launchAtLogin.isChecked());
    EXPECT_EQ(rig.loginItem.calls, Log{"unregister"});
    EXPECT_TRUE(rig.log.empty()); // turning auto-connect on connects nothing now

    model.setAutoConnect(false);
    model.setLaunchAtLogin(true);
    EXPECT_FALSE(autoConnect.isChecked());
    EXPECT_TRUE(launchAtLogin.isChecked());
}

TEST(SettingsViewTest, ErrorLineTakesItsOwnSlotOnlyWhileTheModelHasAnError) {
    test::ModelRig rig;
    rig.loginItem.succeeds = false;
    Screen screen(rig.start());
    QCheckBox& launchAtLogin = screen.box(QStringLiteral("Launch at login"));
    const auto startup = [&] { return screen.group(QStringLiteral("STARTUP")); };
    const auto privacy = [&] { return screen.group(QStringLiteral("PRIVACY AND SECURITY")); };
    EXPECT_FALSE(screen.shows(kLoginItemFailed));
    EXPECT_EQ(Screen::gap(startup(), privacy()), 14);

    QTest::mouseClick(&launchAtLogin, Qt::LeftButton);
    ASSERT_TRUE(screen.shows(kLoginItemFailed));
    EXPECT_TRUE(launchAtLogin.isChecked()); // stays as the user flipped it
    const QRect error = screen.place(screen.label(kLoginItemFailed));
    EXPECT_EQ(Screen::gap(startup(), error), 14);
    EXPECT_EQ(Screen::gap(error, privacy()), 14);
    test::saveScreenshot(screen.view, QStringLiteral("settings-error"));

    QTest::mouseClick(&launchAtLogin, Qt::LeftButton); // off again: nothing to undo, so no error
    EXPECT_FALSE(screen.shows(kLoginItemFailed));
    EXPECT_EQ(Screen::gap(startup(), privacy()), 14);
}

TEST(SettingsViewTest, KillSwitchCannotBeChanged) {
    test::ModelRig rig;
    Screen screen(rig.start());
    QCheckBox& killSwitch = screen.box(QStringLiteral("Kill switch"));
    QTest::mouseClick(&killSwitch, Qt::LeftButton);
    killSwitch.setFocus();
    QTest::keyClick(&killSwitch, Qt::Key_Space);
    EXPECT_FALSE(killSwitch.isChecked() || killSwitch.isEnabled() || killSwitch.hasFocus());
    // Drawn unlike a usable box that is off too.
    const QImage image = screen.view.grab().toImage();
    EXPECT_NE(image.pixelColor(screen.place(killSwitch).center()),
              image.pixelColor(screen.place(screen.box(QStringLiteral("Launch at login"))).center()));
}

TEST(SettingsViewTest, OpenUninstallerStartsTheToolOrShowsItMissing) {
    const std::string tool = "Uninstall Korvel/Uninstall Korvel.tool";
    for (const std::string layout : {"no resources folder", "no tool", "tool"}) {
        test::ModelRig rig;
        if (layout != "no resources folder") {
            rig.desktop.resources = QString::fromStdString(rig.dir.path().string());
        }
        if (layout == "tool") {
            std::filesystem::create_directory(rig.dir.path() / "Uninstall Korvel");
            std::ofstream(rig.dir / tool);
        }
        Screen screen(rig.start());
        QTest::mouseClick(screen.view.findChild<QPushButton*>(), Qt::LeftButton);
        EXPECT_EQ(rig.desktop.opened, layout == "tool" ? Log{rig.dir / tool} : Log{}) << layout;
        EXPECT_EQ(screen.shows(QStringLiteral("The uninstaller is missing. Reinstall Korvel to repair it.")),
                  layout != "tool")
            << layout;
    }
}

TEST(SettingsViewTest, HeaderStaysWhileTheGroupsScroll) {
    test::ModelRig rig;
    Screen screen(rig.start(), {560, 300});
    QScrollBar& bar = *screen.view.findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_GT(bar.maximum(), 0);
    const QRect title = screen.place(screen.label(QStringLiteral("Settings")));
    const QRect maintenance = screen.group(QStringLiteral("MAINTENANCE"));

    bar.setValue(bar.maximum());
    EXPECT_EQ(screen.place(screen.label(QStringLiteral("Settings"))), title);
    EXPECT_EQ(screen.group(QStringLiteral("MAINTENANCE")), maintenance.translated(0, -bar.maximum()));
    // At the end the last box sits 24 above the bottom.
    EXPECT_EQ(screen.view.height() - screen.group(QStringLiteral("MAINTENANCE")).bottom() - 1, 24);
}

} // namespace
} // namespace korvel::ui
