// The panel icon as the desktop meets it: on an X display and a session bus of its own (x11_session.sh),
// with korvel-test-desktop standing in for the panel's StatusNotifierItem watcher and the notification
// service, over a model built on the shared fakes.
#include "PanelIcon.h"

#include "DesktopNotifications.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SingleInstance.h"
#include "TunnelLook.h"

#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <functional>

namespace korvel::ui {
namespace {

using namespace std::chrono_literals;
using Kind = tunnel::TunnelState::Kind;

const QString kLost = QStringLiteral("Korvel is no longer protecting your traffic.||reconnect,Reconnect");
const QString kStillRunning = QStringLiteral("Korvel is still running in the panel.||");

// True once `condition` holds; a loaded machine may take its time.
bool soon(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 30000); }

// korvel-test-desktop on the test's session bus, and the lines it printed.
class FakeDesktop {
public:
    FakeDesktop() {
        process_.start(QStringLiteral(KORVEL_TEST_DESKTOP));
        EXPECT_TRUE(waitFor(QStringLiteral("ready")));
    }
    ~FakeDesktop() {
        process_.terminate();
        process_.waitForFinished();
    }
    // What followed the word of every line that starts with it, so far.
    QStringList said(const QString& word) {
        lines_ += QString::fromUtf8(process_.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        const QRegularExpression head(u'^' + word + QStringLiteral("( |$)"));
        return QStringList(lines_.filter(head)).replaceInStrings(head, {});
    }
    bool waitFor(const QString& word, qsizetype count = 1) {
        return soon([&] { return said(word).size() >= count; });
    }
    void invoke(const QString& key) { process_.write(QStringLiteral("invoke %1\n").arg(key).toUtf8()); }

private:
    QProcess process_;
    QStringList lines_;
};

// A signed-out model, a window and the icon over them.
struct Panel {
    explicit Panel(std::chrono::milliseconds stateInterval = 1h) {
        rig.stateInterval = stateInterval;
        rig.start();
        icon.emplace(*rig.model, notices, window);
    }
    QSystemTrayIcon& tray() { return *icon->findChild<QSystemTrayIcon*>(); }
    // The tooltip tells the state's title and the location; each state has an icon of its own.
    void expectShown(const char* name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tray().toolTip(), TunnelLook::of(rig.model->state()).title + QStringLiteral(" \u00B7 ") +
                                        rig.model->selectedLocationLabel());
        const QImage image = tray().icon().pixmap(22).toImage();
        EXPECT_FALSE(icons.contains(image));
        icons.append(image);
        QLabel picture;
        picture.setPixmap(tray().icon().pixmap(32));
        test::saveScreenshot(picture, QStringLiteral("panel-") + QString::fromUtf8(name));
    }

    test::ModelRig rig;
    QWidget window;
    platform::DesktopNotifications notices{QDBusConnection::sessionBus()};
    std::optional<PanelIcon> icon;
    QList<QImage> icons;
};

// The visible entries of a menu, "-" for a separator, "(…)" around a disabled one, "*" after a ticked one.
QString entries(const QMenu& menu) {
    QStringList texts;
    for (const QAction* action : menu.actions()) {
        if (action->isVisible()) {
            const QString text = action->isSeparator() ? QStringLiteral("-") : action->text();
            texts << (action->isEnabled() ? text : u'(' + text + u')') +
                         (action->isChecked() ? QStringLiteral("*") : QString());
        }
    }
    return texts.join(u'|');
}

QAction& entry(const QMenu& menu, const QString& text) {
    const QList<QAction*> actions = menu.actions();
    return **std::ranges::find(actions, text, &QAction::text);
}

TEST(PanelIconTest, MenuWalkAndNoticesOfWhatHappensOutOfSight) {
    FakeDesktop desktop;
    Panel panel(20ms);
    model::AppModel& model = *panel.rig.model;
    QSignalSpy quit(&*panel.icon, &PanelIcon::quitRequested);
    QMenu& menu = *panel.tray().contextMenu();
    EXPECT_TRUE(desktop.waitFor(QStringLiteral("item"))); // the panel knows of the item
    EXPECT_EQ(entries(menu), QStringLiteral("Sign in\u2026|-|Quit Korvel"));
    entry(menu, QStringLiteral("Sign in\u2026")).trigger();
    EXPECT_TRUE(panel.window.isVisible());

    ASSERT_TRUE(panel.rig.signIn());
    model.toggleFavorite(test::location("ams"));
    model.selectLocation(test::location("fra"));
    EXPECT_EQ(entries(menu),
              QStringLiteral("(Not protected \u00B7 fra City)|Connect|Location|-|Open Korvel|Quit Korvel"));
    panel.expectShown("disconnected");
    QMenu& locations = *entry(menu, QStringLiteral("Location")).menu();
    EXPECT_TRUE(soon([&] { return entries(locations) == "Smart Location|-|ams City|-|fra City*"; }));

    QAction& toggle = entry(menu, QStringLiteral("Connect"));
    panel.rig.tunnel->held = true;
    toggle.trigger();
    ASSERT_TRUE(soon([&] { return !panel.rig.log.empty(); })); // held at the tunnel
    EXPECT_FALSE(toggle.isEnabled());
    panel.expectShown("connecting");
    panel.rig.tunnel->held = false;
    EXPECT_TRUE(soon([&] { return toggle.text() == "Disconnect"; }));
    EXPECT_TRUE(toggle.isEnabled());
    panel.expectShown("connected");
    panel.rig.log.clear();
    entry(locations, QStringLiteral("ams City")).trigger(); // connected: a new tunnel to the new place
    EXPECT_TRUE(soon([&] { return panel.rig.log == test::Log({"disconnect", "connect [Interface]"}); }));
    EXPECT_TRUE(soon([&] { return entries(locations) == "Smart Location|-|ams City*|-|fra City"; }));
    ASSERT_TRUE(soon([&] { return model.state().kind() == Kind::connected; }));

    // Gone behind the user's back: one notice, however often the state monitor looks again, and its
    // action brings the tunnel back.
    panel.rig.tunnel->up = false;
    ASSERT_TRUE(desktop.waitFor(QStringLiteral("notify")));
    QSignalSpy looks(&model, &model::AppModel::stateChanged);
    ASSERT_TRUE(soon([&] { return looks.size() >= 5; }));
    EXPECT_EQ(desktop.said(QStringLiteral("notify")), QStringList{kLost});
    desktop.invoke(QStringLiteral("reconnect"));
    EXPECT_TRUE(soon([&] { return model.state().kind() == Kind::connected; }));

    // What the user does in the window is not told; a connect from the panel that fails is.
    ASSERT_TRUE(test::finish(model.toggle()));
    panel.rig.tunnel->failure = QStringLiteral("Refused.");
    ASSERT_TRUE(test::finish(model.toggle()));
    ASSERT_EQ(model.state().kind(), Kind::error);
    panel.expectShown("error");
    toggle.trigger();
    ASSERT_TRUE(desktop.waitFor(QStringLiteral("notify"), 2));
    EXPECT_EQ(desktop.said(QStringLiteral("notify")),
              QStringList({kLost, QStringLiteral("Connection problem|Refused.|")}));

    // Closing the window leaves Korvel in the panel, which says so the first time.
    panel.window.close();
    panel.window.show();
    panel.window.close();
    ASSERT_TRUE(desktop.waitFor(QStringLiteral("notify"), 3));
    EXPECT_EQ(desktop.said(QStringLiteral("notify")).last(), kStillRunning);
    EXPECT_FALSE(panel.window.isVisible());
    entry(menu, QStringLiteral("Open Korvel")).trigger();
    EXPECT_TRUE(panel.window.isVisible());
    EXPECT_EQ(quit.size(), 0);
    entry(menu, QStringLiteral("Quit Korvel")).trigger();
    EXPECT_EQ(quit.size(), 1);

    // Out of the panel by the user's choice, closing quits.
    model.setShowInPanel(false);
    EXPECT_FALSE(panel.icon->isInPanel());
    panel.window.close();
    EXPECT_EQ(quit.size(), 2);
    EXPECT_EQ(desktop.said(QStringLiteral("notify")).size(), 3);
}

TEST(SingleInstanceTest, ALaterStartOnTheSameSessionAsksTheFirstForItsWindow) {
    const QDBusConnection first = QDBusConnection::sessionBus(); // x11_session.sh gives it
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
