// The connect section over a model built on the shared fakes, in every tunnel state.
#include "ConnectView.h"

#include "ConnectButton.h"
#include "ConnectionBackdrop.h"
#include "ElidedLabel.h"
#include "ModelFakes.h"
#include "Palette.h"
#include "Screenshot.h"
#include "SessionStat.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cstdlib>

namespace korvel::ui {
namespace {

using namespace std::chrono_literals;
using Kind = tunnel::TunnelState::Kind;

// Within a few steps per channel: gradients and antialiased edges land between palette values.
bool near(const QColor& seen, const QColor& expected, int tolerance = 4) {
    return std::abs(seen.red() - expected.red()) <= tolerance &&
           std::abs(seen.green() - expected.green()) <= tolerance &&
           std::abs(seen.blue() - expected.blue()) <= tolerance;
}

// The view at the size the main shell gives it in the smallest window, over a signed-in model.
struct Screen {
    explicit Screen(test::ModelRig& rig) : rig(rig), view(rig.start()) {
        EXPECT_TRUE(rig.signIn());
        view.resize(560, 627);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    model::AppModel& model() { return *rig.model; }
    ConnectButton& button() { return *view.findChild<ConnectButton*>(); }
    ConnectionBackdrop& backdrop() { return *view.findChild<ConnectionBackdrop*>(); }
    QPushButton& locationRow() { return *view.findChild<QPushButton*>(); }
    QLabel* label(const QString& text) {
        const QList<QLabel*> labels = view.findChildren<QLabel*>();
        const auto found = std::find_if(labels.begin(), labels.end(), [&](QLabel* label) {
            return label->text() == text && label->isVisibleTo(&view);
        });
        return found == labels.end() ? nullptr : *found;
    }
    bool shows(const QString& text) { return label(text) != nullptr; }
    // The darkest pixel of the widget's place: the colour its text is drawn in.
    QColor ink(QWidget& widget) {
        const QImage image = this->image();
        const QRect area = place(widget);
        QColor darkest = Qt::white;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor seen = image.pixelColor(x, y);
                darkest = seen.lightness() < darkest.lightness() ? seen : darkest;
            }
        }
        return darkest;
    }
    SessionStat* stat(const QString& title) {
        QLabel* heading = label(title);
        return heading ? qobject_cast<SessionStat*>(heading->parentWidget()) : nullptr;
    }
    // Where the widget is drawn in the view, once the layouts have settled.
    QRect place(QWidget& widget) {
        QCoreApplication::processEvents();
        return {widget.mapTo(&view, QPoint(0, 0)), widget.size()};
    }
    QImage image() {
        QCoreApplication::processEvents();
        return view.grab().toImage();
    }
    void snap(const QString& name) {
        QCoreApplication::processEvents();
        test::saveScreenshot(view, name);
    }
    // Starts the model's toggle with a click and waits for the state it leads to.
    bool toggleTo(Kind kind) {
        QTest::mouseClick(&button(), Qt::LeftButton);
        return QTest::qWaitFor([&] { return model().state().kind() == kind; }, 5000);
    }
    long tunnelCalls(const std::string& call) {
        return std::count_if(rig.log.begin(), rig.log.end(),
                             [&](const std::string& entry) { return entry.starts_with(call); });
    }

    test::ModelRig& rig;
    ConnectView view;
};

const QString kLongError =
    QStringLiteral("The tunnel service refused the configuration because another interface already uses the "
                   "addresses it asks for. Close the other connection and try again.");

TEST(ConnectViewTest, EveryStateShowsItsColourTextsButtonAndCard) {
    const struct {
        const char* name;
        Kind kind;
        QColor colour;
        QString title, explanation, caption, button;
    } rows[] = {
        {"disconnected", Kind::disconnected, palette::blue500, "Not protected",
         "You are using your normal connection", "VPN LOCATION", "Connect VPN"},
        {"connecting", Kind::connecting, palette::cyan400, "Connecting...", "Securing your connection",
         "VPN LOCATION", "Connect VPN"},
        {"connected", Kind::connected, palette::green500, "Protected",
         "Your traffic is encrypted through Korvel", "CURRENT LOCATION", "Disconnect VPN"},
        {"error", Kind::error, palette::red500, "Connection problem", kLongError, "VPN LOCATION",
         "Connect VPN"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::ModelRig rig;
        Screen screen(rig);
        const bool connecting = row.kind == Kind::connecting;
        rig.tunnel->delay = connecting ? 1s : 0ms;
        rig.tunnel->failure = row.kind == Kind::error ? std::optional(kLongError) : std::nullopt;
        ASSERT_TRUE(row.kind == Kind::disconnected || screen.toggleTo(row.kind));
        ConnectButton& button = screen.button();
        if (connecting) { // a second click while busy starts nothing
            QTest::mouseClick(&button, Qt::LeftButton);
        }
        screen.snap(QStringLiteral("connect-") + QString::fromUtf8(row.name));

        EXPECT_TRUE(screen.shows(row.title));
        EXPECT_TRUE(screen.shows(row.explanation));
        EXPECT_TRUE(screen.shows(row.caption));
        EXPECT_EQ(button.accessibleName(), row.button);
        EXPECT_EQ(button.isEnabled(), !connecting);
        EXPECT_EQ(screen.stat(QStringLiteral("SESSION")) != nullptr, row.kind == Kind::connected);
        EXPECT_EQ(screen.tunnelCalls("connect "), row.kind == Kind::connected || row.kind == Kind::error);

        // The backdrop's far corner is the colour itself; the disc is white, with the power glyph's bar
        // above its centre in the colour, or the spinner's empty middle.
        const QImage image = screen.image();
        const QRect backdrop = screen.place(screen.backdrop());
        EXPECT_TRUE(near(image.pixelColor(backdrop.right() - 1, backdrop.bottom() - 1), row.colour));
        const QPoint centre = screen.place(button).topLeft() + QPoint(73, 73);
        EXPECT_EQ(image.pixelColor(centre + QPoint(-60, 0)), QColor(Qt::white));
        const QColor bar = image.pixelColor(centre + QPoint(0, -8));
        EXPECT_TRUE(connecting ? bar == QColor(Qt::white) : near(bar, row.colour, 12));
        if (connecting) { // the arc: somewhere on its circle in the colour
            int tinted = 0;
            for (int y = -16; y <= 16; ++y) {
                for (int x = -16; x <= 16; ++x) {
                    tinted += near(image.pixelColor(centre + QPoint(x, y)), row.colour, 12) ? 1 : 0;
                }
            }
            EXPECT_GT(tinted, 100);
            // Let the slow connect end while its model is still there.
            EXPECT_TRUE(QTest::qWaitFor([&] { return screen.model().state().kind() == Kind::connected; }));
            EXPECT_TRUE(button.isEnabled() && screen.shows(QStringLiteral("Protected")));
            EXPECT_EQ(screen.tunnelCalls("connect "), 1);
        }
    }
}

TEST(ConnectViewTest, HeroButtonOverhangsTheBackdropAndALongErrorWrapsWithin340) {
    test::ModelRig rig;
    Screen screen(rig);
    rig.tunnel->failure = kLongError;
    ASSERT_TRUE(screen.toggleTo(Kind::error));
    const QRect view = screen.view.rect();
    const QRect backdrop = screen.place(screen.backdrop());
    const QRect button = screen.place(screen.button());
    EXPECT_EQ(backdrop, QRect(0, 0, view.width(), 245));
    EXPECT_EQ(button, QRect((view.width() - 146) / 2, 245 - 73, 146, 146));
    const QImage image = screen.image();
    EXPECT_EQ(image.pixelColor(button.center().x(), backdrop.bottom() + 30), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(button.left() - 30, backdrop.bottom() + 30), QColor(251, 250, 247));
    // Its shadow falls below it, darker than the page.
    EXPECT_LT(image.pixelColor(button.center().x(), button.bottom() + 4).lightness(),
              QColor(251, 250, 247).lightness());

    QLabel& title = *screen.label(QStringLiteral("Connection problem"));
    QLabel& explanation = *screen.label(kLongError);
    const QRect titlePlace = screen.place(title);
    const QRect explanationPlace = screen.place(explanation);
    EXPECT_EQ(titlePlace.top() - backdrop.bottom() - 1, 92);
    EXPECT_EQ(explanationPlace.top() - titlePlace.bottom() - 1, 4);
    EXPECT_EQ(explanationPlace.width(), 340);
    EXPECT_EQ(explanationPlace.center().x(), view.center().x());
    EXPECT_GE(explanation.height(), explanation.heightForWidth(340)); // no line cut off
    EXPECT_GT(explanation.height(), 2 * explanation.fontMetrics().height());
    EXPECT_EQ(screen.place(screen.locationRow()).top() - explanationPlace.bottom() - 1, 28);
}

TEST(ConnectViewTest, SessionCardFollowsTheTimerAndGoesWithTheConnection) {
    test::ModelRig rig;
    Screen screen(rig);
    ASSERT_TRUE(screen.toggleTo(Kind::connected));
    SessionStat* session = screen.stat(QStringLiteral("SESSION"));
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(screen.stat(QStringLiteral("PROTOCOL"))->value(), QStringLiteral("Our VPN protocol"));
    EXPECT_EQ(session->value(), QStringLiteral("00:00:00"));
    EXPECT_TRUE(near(screen.ink(*screen.label(QStringLiteral("SESSION"))), palette::gray400, 12));
    EXPECT_TRUE(near(screen.ink(*session->findChild<ElidedLabel*>()), palette::navy900, 12));
    EXPECT_TRUE(QTest::qWaitFor([&] { return session->value() == QStringLiteral("00:00:01"); }, 3000));
    // Two equal shares on a card at most 420 wide, 18 below the location row.
    const QRect card = screen.place(*session->parentWidget());
    EXPECT_EQ(card.width(), 420);
    EXPECT_EQ(card.top() - screen.place(screen.locationRow()).bottom() - 1, 18);
    EXPECT_LE(std::abs(session->width() - screen.stat(QStringLiteral("PROTOCOL"))->width()), 1);

    ASSERT_TRUE(screen.toggleTo(Kind::disconnected));
    EXPECT_EQ(screen.tunnelCalls("disconnect"), 1);
    EXPECT_EQ(screen.stat(QStringLiteral("SESSION")), nullptr);
}

TEST(ConnectViewTest, FooterShowsThePlanAndTheUsageOnlyWhenThereIsSome) {
    const struct {
        std::string usage;
        QString status;
        std::optional<QString> used;
    } rows[] = {
        {"", "Free plan: unlimited data", std::nullopt},
        {R"(,"usage":{"plan_is_free":true,"speed_mbps":10,"bytes_used":1610612736})",
         "Free plan: unlimited data, up to 10 Mbps", "1.5 GB used this month"},
    };
    for (const auto& row : rows) {
        test::ModelRig rig;
        rig.api->serve({{"GET account", {200, test::data(R"({"email":"e")" + row.usage + "}")}}});
        Screen screen(rig);
        QLabel* status = screen.label(row.status);
        ASSERT_NE(status, nullptr) << row.status.toStdString();
        const QRect statusPlace = screen.place(*status);
        // Whatever lies below the plan line is the usage line, 3 below it.
        QLabel* below = nullptr;
        for (QLabel* label : screen.view.findChildren<QLabel*>()) {
            below = label->isVisibleTo(&screen.view) && screen.place(*label).top() > statusPlace.bottom()
                        ? label
                        : below;
        }
        EXPECT_EQ(below != nullptr, row.used.has_value());
        if (row.used) {
            EXPECT_EQ(below->text(), *row.used);
            EXPECT_EQ(screen.place(*below).top() - statusPlace.bottom() - 1, 3);
            screen.snap(QStringLiteral("connect-usage"));
        }
    }
}

TEST(ConnectViewTest, LocationRowOpensLocationsWithoutTouchingTheTunnelAndKeepsLongNamesOnOneLine) {
    test::ModelRig rig;
    Screen screen(rig);
    ASSERT_TRUE(screen.toggleTo(Kind::connected));
    ElidedLabel& name = *screen.locationRow().findChild<ElidedLabel*>();
    EXPECT_EQ(name.text(), QStringLiteral("Fastest location (automatic)"));
    const QString longName = QStringLiteral("Frankfurt am Main, Hesse, Germany - Rhine-Main Data Centre 42");
    screen.model().setSelectedLocation(api::ServerLocation{QStringLiteral("fra"), longName,
                                                           QStringLiteral("DE"), QStringLiteral("online"),
                                                           QStringLiteral("low")});
    EXPECT_EQ(name.text(), longName);
    QPushButton& row = screen.locationRow();
    const QRect rowPlace = screen.place(row);
    EXPECT_EQ(rowPlace.width(), 470);
    EXPECT_EQ(rowPlace.height(), 68);
    EXPECT_LE(std::abs(rowPlace.center().x() - screen.view.width() / 2), 1);
    EXPECT_LT(name.height(), 2 * name.fontMetrics().height());
    EXPECT_TRUE(near(screen.ink(name), palette::navy900, 12));
    EXPECT_TRUE(near(screen.ink(*screen.label(QStringLiteral("CURRENT LOCATION"))), palette::gray400, 12));
    EXPECT_LT(name.width(), name.fontMetrics().horizontalAdvance(longName));
    screen.snap(QStringLiteral("connect-long-location"));

    // Anywhere on the row, its name included, opens the locations.
    QTest::mouseClick(&row, Qt::LeftButton, {}, name.mapTo(&row, name.rect().center()));
    EXPECT_EQ(screen.model().section(), model::AppSection::locations);
    EXPECT_EQ(screen.model().state().kind(), Kind::connected);
    EXPECT_EQ(screen.tunnelCalls("connect "), 1);
    EXPECT_EQ(screen.tunnelCalls("disconnect"), 0);
    EXPECT_TRUE(screen.shows(QStringLiteral("CURRENT LOCATION")));
}

} // namespace
} // namespace korvel::ui
