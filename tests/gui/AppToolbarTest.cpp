#include "AppToolbar.h"

#include "LogoTile.h"
#include "ModelFakes.h"
#include "Palette.h"
#include "Screenshot.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

using model::AppSection;
using test::ModelRig;

TEST(AppToolbarTest, LaysOutTheBarAndTitlesItBySection) {
    ModelRig rig;
    model::AppModel& model = rig.start();
    AppToolbar toolbar(model);
    toolbar.resize(560, 52);
    toolbar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&toolbar));
    EXPECT_EQ(toolbar.height(), 52);
    EXPECT_EQ(toolbar.minimumHeight(), 52);
    EXPECT_EQ(toolbar.maximumHeight(), 52);

    auto* button = toolbar.findChild<QToolButton*>();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->geometry(), QRect(16, 9, 42, 34));
    EXPECT_EQ(button->text(), QStringLiteral("menu"));
    EXPECT_EQ(button->font().family(), QStringLiteral("Material Icons"));
    EXPECT_EQ(button->font().pixelSize(), 21);
    EXPECT_EQ(button->menu(), nullptr); // no disclosure arrow
    auto* logo = toolbar.findChild<LogoTile*>();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->geometry(), QRect(560 - 16 - 28, 12, 28, 28));

    auto* title = toolbar.findChild<QLabel*>();
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->font().pixelSize(), 18);
    EXPECT_TRUE(title->font().bold());
    EXPECT_EQ(title->palette().color(QPalette::WindowText), palette::navy900);
    const struct {
        AppSection section;
        const char* title;
    } rows[] = {{AppSection::locations, "VPN Locations"},
                {AppSection::settings, "Preferences"},
                {AppSection::connect, "Korvel"}};
    for (const auto& row : rows) {
        model.setSection(row.section);
        EXPECT_EQ(title->text(), QString::fromUtf8(row.title));
        // Centred across the whole bar, not the room between button and logo.
        EXPECT_EQ(title->geometry().center().x(), toolbar.rect().center().x()) << row.title;
    }
    EXPECT_EQ(toolbar.grab().toImage().pixelColor(100, 2), QColor(Qt::white));
}

TEST(AppToolbarTest, MenuListsTheEntriesInOrderAndEachDoesItsPart) {
    ModelRig rig;
    model::AppModel& model = rig.start();
    ASSERT_TRUE(rig.signIn());
    AppToolbar toolbar(model);
    toolbar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&toolbar));

    auto* menu = toolbar.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    QTest::mouseClick(toolbar.findChild<QToolButton*>(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
    test::saveScreenshot(*menu, QStringLiteral("shell-menu"));
    menu->hide();

    const QList<QAction*> actions = menu->actions();
    QStringList texts;
    for (const QAction* action : actions) {
        // As shown: a lone "&" would mark a shortcut letter instead of showing.
        texts << (action->isSeparator() ? QStringLiteral("-") : action->iconText());
        EXPECT_TRUE(action->isEnabled());
    }
    EXPECT_EQ(texts.join(QLatin1Char('|')).toStdString(),
              "Connection|VPN locations|Preferences|-|Help & support|-|Sign out");
    for (int i : {0, 1, 2, 4}) {
        EXPECT_FALSE(actions[i]->icon().isNull()) << texts[i].toStdString();
    }
    EXPECT_TRUE(actions[6]->icon().isNull());

    const struct {
        int entry;
        AppSection section;
    } rows[] = {{1, AppSection::locations},
                {1, AppSection::locations},
                {2, AppSection::settings},
                {0, AppSection::connect}};
    for (const auto& row : rows) {
        actions[row.entry]->trigger();
        EXPECT_EQ(model.section(), row.section) << texts[row.entry].toStdString();
    }
    actions[4]->trigger();
    EXPECT_EQ(rig.desktop.opened, test::Log({"https://korvel.example/help/"}));
    EXPECT_TRUE(model.isSignedIn() && model.section() == AppSection::connect);

    actions[6]->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isSignedIn(); }));
    EXPECT_EQ(rig.tokens.stored, std::nullopt);
}

} // namespace
} // namespace korvel::ui
