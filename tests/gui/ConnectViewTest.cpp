// The connect section over a model built on the shared fakes, in every tunnel state.
#include "ConnectView.h"

#include "ConnectButton.h"
#include "ConnectionBackdrop.h"
#include "ElidedLabel.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SessionStat.h"
#include "TunnelLook.h"

#include <QPushButton>
#include <QTest>

#include <cstdlib>

namespace korvel::ui {
namespace {

using Kind = tunnel::TunnelState::Kind;

// The view at the size the main shell gives it in the smallest window, over a signed-in model.
struct Screen {
    Screen() {
        view.emplace(rig.start());
        EXPECT_TRUE(rig.signIn());
        EXPECT_TRUE(test::shown(*view));
    }
    model::AppModel& model() { return *rig.model; }
    ConnectButton& button() { return *view->findChild<ConnectButton*>(); }
    QPushButton& locationRow() { return *view->findChild<QPushButton*>(); }
    QLabel* label(const QString& text) { return test::shownLabel(*view, text); }
    SessionStat* stat(const QString& title) {
        QLabel* heading = label(title);
        return heading ? qobject_cast<SessionStat*>(heading->parentWidget()) : nullptr;
    }
    // Starts the model's toggle with a click and waits for the state it leads to.
    bool toggleTo(Kind kind) {
        QTest::mouseClick(&button(), Qt::LeftButton);
        return QTest::qWaitFor([&] { return model().state().kind() == kind; }, 5000);
    }
    long tunnelCalls(const std::string& call) {
        return std::ranges::count_if(rig.log,
                                     [&](const std::string& entry) { return entry.starts_with(call); });
    }

    test::ModelRig rig;
    std::optional<ConnectView> view;
};

const QString kLongError =
    QStringLiteral("The tunnel service refused the configuration because another interface already uses the "
                   "addresses it asks for. Close the other connection and try again.");

TEST(ConnectViewTest, EveryStateShowsItsColourTextsButtonAndCardAndTheLocationRowOpensTheList) {
    const struct {
        const char* name;
        Kind kind;
        QString title; // the rest of the look follows it
    } rows[] = {{"disconnected", Kind::disconnected, "Not protected"},
                {"connecting", Kind::connecting, "Connecting..."},
                {"connected", Kind::connected, "Protected"},
                {"error", Kind::error, "Connection problem"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Screen screen;
        test::Tunnel& tunnel = *screen.rig.tunnel;
        const bool connecting = row.kind == Kind::connecting;
        tunnel.held = connecting;
        tunnel.failure = row.kind == Kind::error ? std::optional(kLongError) : std::nullopt;
        ASSERT_TRUE(row.kind == Kind::disconnected || screen.toggleTo(row.kind));
        ConnectButton& button = screen.button();
        if (connecting) { // held at the tunnel; a second click while busy starts nothing
            ASSERT_TRUE(QTest::qWaitFor([&] { return screen.tunnelCalls("connect ") == 1; }));
            QTest::mouseClick(&button, Qt::LeftButton);
        }
        test::saveScreenshot(*screen.view, QStringLiteral("connect-") + QString::fromUtf8(row.name));

        const bool connected = row.kind == Kind::connected;
        EXPECT_TRUE(screen.label(row.title) && screen.label(connected ? QStringLiteral("CURRENT LOCATION")
                                                                      : QStringLiteral("VPN LOCATION")));
        QLabel* explanation = screen.label(TunnelLook::of(screen.model().state()).explanation);
        ASSERT_NE(explanation, nullptr);
        // Only the long error takes several lines, and none of them is cut off.
        EXPECT_EQ(explanation->height() > 2 * explanation->fontMetrics().height(), row.kind == Kind::error);
        EXPECT_GE(explanation->height(), explanation->heightForWidth(explanation->width()));
        EXPECT_EQ(button.isEnabled(), !connecting);
        EXPECT_EQ(button.isSpinning(), connecting);
        ASSERT_EQ(screen.stat(QStringLiteral("SESSION")) != nullptr, connected);
        EXPECT_EQ(screen.tunnelCalls("connect "), row.kind == Kind::disconnected ? 0 : 1);

        // Far from the hero button, the backdrop is the state's colour itself.
        QWidget& backdrop = *screen.view->findChild<ConnectionBackdrop*>();
        const QColor corner =
            backdrop.grab().toImage().pixelColor(backdrop.width() - 2, backdrop.height() - 2);
        const QColor colour = TunnelLook::of(screen.model().state()).colour;
        EXPECT_LE(std::abs(corner.red() - colour.red()) + std::abs(corner.green() - colour.green()) +
                      std::abs(corner.blue() - colour.blue()),
                  12);
        if (connecting) { // the arc turns, not only is said to
            const QImage still = button.grab().toImage();
            EXPECT_TRUE(QTest::qWaitFor([&] { return button.grab().toImage() != still; }));
            tunnel.held = false;
            EXPECT_TRUE(QTest::qWaitFor([&] { return screen.model().state().kind() == Kind::connected; }));
            EXPECT_TRUE(button.isEnabled() && !button.isSpinning() &&
                        screen.label(QStringLiteral("Protected")));
            EXPECT_EQ(screen.tunnelCalls("connect "), 1);
        }
        if (connected) { // the card counts; anywhere on the location row, its name included, opens the list
            SessionStat* session = screen.stat(QStringLiteral("SESSION"));
            const QString first = session->value();
            EXPECT_TRUE(QTest::qWaitFor([&] {
                return session->value() != first && session->value() == screen.model().sessionTimeText();
            }));
            QPushButton& row = screen.locationRow();
            const QLabel& name = *row.findChild<ElidedLabel*>();
            QTest::mouseClick(&row, Qt::LeftButton, {}, name.mapTo(&row, name.rect().center()));
            EXPECT_EQ(screen.model().section(), model::AppSection::locations);
            ASSERT_TRUE(screen.toggleTo(Kind::disconnected));
            EXPECT_EQ(screen.tunnelCalls("disconnect"), 1);
            EXPECT_EQ(screen.stat(QStringLiteral("SESSION")), nullptr);
        }
    }
}

} // namespace
} // namespace korvel::ui
