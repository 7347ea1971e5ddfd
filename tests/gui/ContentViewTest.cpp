#include "ContentView.h"

#include "LoginView.h"
#include "MainShell.h"
#include "ModelFakes.h"
#include "Screenshot.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

using test::ModelRig;

TEST(ContentViewTest, SwapsSignInAndShellLiveAndKeepsTheScreenWhenNothingChanged) {
    ModelRig rig;
    model::AppModel& model = rig.start();
    ContentView view(model);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    auto* login = view.findChild<LoginView*>();
    ASSERT_NE(login, nullptr);
    EXPECT_EQ(view.findChild<MainShell*>(), nullptr);
    // Every assignment is announced, also of the same value: the screen (and what was typed) stays.
    emit model.isSignedInChanged();
    QTest::qWait(5);
    EXPECT_EQ(view.findChild<LoginView*>(), login);

    ASSERT_TRUE(rig.signIn());
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findChild<LoginView*>() == nullptr; }));
    auto* shell = view.findChild<MainShell*>();
    ASSERT_NE(shell, nullptr);
    EXPECT_TRUE(shell->isVisible());
    EXPECT_EQ(shell->geometry(), view.rect());
    emit model.isSignedInChanged();
    QTest::qWait(5);
    EXPECT_EQ(view.findChild<MainShell*>(), shell);

    // Sign out from the shell's own menu: the shell goes only once the model has signed out.
    QAction* signOut = shell->findChild<QMenu*>()->actions().constLast();
    ASSERT_EQ(signOut->text(), QStringLiteral("Sign out"));
    signOut->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isSignedIn(); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.findChild<MainShell*>() == nullptr; }));
    ASSERT_NE(view.findChild<LoginView*>(), nullptr);
    EXPECT_TRUE(view.findChild<LoginView*>()->isVisible());
    EXPECT_EQ(rig.tokens.stored, std::nullopt);
}

TEST(ContentViewTest, CannotBeMadeSmallerThan560By680ButGrowsFreely) {
    ModelRig rig;
    ContentView view(rig.start());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // What the desktop's window manager is told, and what a resize gets.
    EXPECT_EQ(view.windowHandle()->minimumSize(), QSize(560, 680));
    view.resize(400, 300);
    EXPECT_EQ(view.size(), QSize(560, 680));
    view.resize(900, 1000);
    EXPECT_EQ(view.size(), QSize(900, 1000));
    // White to every edge.
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(899, 999), QColor(Qt::white));
}

} // namespace
} // namespace korvel::ui
