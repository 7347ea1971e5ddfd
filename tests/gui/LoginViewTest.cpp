// The sign-in screen in the window's content over a model built on the shared fakes: the fields bound
// to the model, the two ways to sign in, the busy and error states, the fixed widths, the free-plan
// link and the brand panel's drawing.
#include "LoginView.h"

#include "BrandPanel.h"
#include "ContentView.h"
#include "LogoTile.h"
#include "ModelFakes.h"
#include "Palette.h"
#include "Screenshot.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <vector>

namespace korvel::ui {
namespace {

const QString kEnterBoth = QStringLiteral("Enter your email and password.");

// A web API that takes every request and answers only when told, so a sign-in stays in flight.
struct HeldApi {
    HeldApi() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                connections.push_back(socket);
            }
        });
    }
    void answer(int status, const QByteArray& body) {
        for (QTcpSocket* socket : connections) {
            socket->write(
                "HTTP/1.1 " + QByteArray::number(status) +
                " Answer\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
        }
    }
    QString baseUrl() const { return test::baseOn(server.serverPort()); }
    QTcpServer server;
    std::vector<QTcpSocket*> connections;
};

// The sign-in screen as the window shows it while signed out.
struct Screen {
    explicit Screen(model::AppModel& model)
        : window(model), view(*window.findChild<LoginView*>()),
          email(*view.findChild<QLineEdit*>(QStringLiteral("email"))),
          password(*view.findChild<QLineEdit*>(QStringLiteral("password"))),
          error(*view.findChild<QLabel*>(QStringLiteral("authError"))),
          button(*view.findChild<QPushButton*>(QStringLiteral("signIn"))),
          freePlan(*view.findChild<QPushButton*>(QStringLiteral("freePlan"))),
          panel(*view.findChild<BrandPanel*>()) {
        window.resize(760, 680);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    // Where the widget is drawn in the window, once the layouts have settled.
    QRect place(const QWidget& widget) {
        QCoreApplication::processEvents();
        return {widget.mapTo(&window, QPoint(0, 0)), widget.size()};
    }
    bool errorShows(const QString& text) { return error.isVisible() && error.text() == text; }

    ContentView window;
    LoginView& view;
    QLineEdit& email;
    QLineEdit& password;
    QLabel& error;
    QPushButton& button;
    QPushButton& freePlan;
    BrandPanel& panel;
};

TEST(LoginViewTest, FieldsAndModelFollowEachOtherAndTheLinkOpensTheFreePlanPage) {
    test::ModelRig rig;
    Screen screen(rig.start());
    EXPECT_EQ(screen.password.echoMode(), QLineEdit::Password);

    QTest::keyClicks(&screen.email, QStringLiteral("me@korvel.example"));
    QTest::keyClicks(&screen.password, QStringLiteral("  secret "));
    EXPECT_EQ(rig.model->email(), QStringLiteral("me@korvel.example"));
    EXPECT_EQ(rig.model->password(), QStringLiteral("  secret ")); // the view trims nothing

    // Typing inside the text keeps the cursor where the user put it.
    screen.email.setCursorPosition(2);
    QTest::keyClicks(&screen.email, QStringLiteral("X"));
    EXPECT_EQ(rig.model->email(), QStringLiteral("meX@korvel.example"));
    EXPECT_EQ(screen.email.cursorPosition(), 3);

    rig.model->setEmail(QStringLiteral("other@korvel.example"));
    rig.model->setPassword(QString());
    EXPECT_EQ(screen.email.text(), QStringLiteral("other@korvel.example"));
    EXPECT_EQ(screen.password.text(), QString());

    QTest::mouseClick(&screen.freePlan, Qt::LeftButton);
    EXPECT_EQ(rig.desktop.opened, test::Log{"https://korvel.example/free-vpn/"});
    EXPECT_FALSE(rig.model->isBusy() || rig.model->authError());
}

TEST(LoginViewTest, SignsInByTheButtonAndByReturnInThePasswordFieldOnly) {
    enum class Trigger { button, returnInPassword, returnInEmail };
    const struct {
        Trigger trigger;
        QString email, password;
        bool signsIn;
        std::optional<QString> error;
    } rows[] = {{Trigger::button, {}, {}, false, kEnterBoth},
                {Trigger::returnInPassword, {}, {}, false, kEnterBoth},
                {Trigger::returnInPassword, QStringLiteral("me@k"), {}, false, kEnterBoth},
                {Trigger::returnInEmail, QStringLiteral("me@k"), QStringLiteral("pw"), false, {}},
                {Trigger::button, QStringLiteral("me@k"), QStringLiteral("pw"), true, {}},
                {Trigger::returnInPassword, QStringLiteral("me@k"), QStringLiteral("pw"), true, {}}};
    for (const auto& row : rows) {
        test::ModelRig rig;
        Screen screen(rig.start());
        QTest::keyClicks(&screen.email, row.email);
        QTest::keyClicks(&screen.password, row.password);
        switch (row.trigger) {
        case Trigger::button:
            QTest::mouseClick(&screen.button, Qt::LeftButton);
            break;
        case Trigger::returnInPassword:
            QTest::keyClick(&screen.password, Qt::Key_Return);
            break;
        case Trigger::returnInEmail:
            QTest::keyClick(&screen.email, Qt::Key_Return);
            break;
        }
        if (row.signsIn) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return rig.model->isSignedIn(); }));
            EXPECT_EQ(rig.api->body("POST auth/token").value(QStringLiteral("password")),
                      QStringLiteral("pw"));
            continue;
        }
        EXPECT_EQ(rig.model->authError(), row.error);
        EXPECT_EQ(screen.error.isVisible(), row.error.has_value());
        EXPECT_TRUE(!row.error || screen.errorShows(*row.error));
        EXPECT_TRUE(rig.api->requests.empty());
    }
}

TEST(LoginViewTest, BusyWhileSigningInThenTheErrorLine) {
    HeldApi api;
    test::ModelRig rig;
    Screen screen(rig.start(api.baseUrl()));
    QTest::keyClicks(&screen.email, QStringLiteral("me@korvel.example"));
    QTest::keyClicks(&screen.password, QStringLiteral("pw"));
    EXPECT_EQ(screen.button.text(), QStringLiteral("Sign in"));
    QTest::mouseClick(&screen.button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return api.connections.size() == 1; }));

    EXPECT_TRUE(rig.model->isBusy());
    EXPECT_EQ(screen.button.text(), QStringLiteral("Signing in..."));
    EXPECT_FALSE(screen.button.isEnabled());
    EXPECT_TRUE(screen.email.isEnabled() && screen.password.isEnabled());
    EXPECT_FALSE(screen.error.isVisible());
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-busy"));

    // login() clears authError first thing, so any second start would show here at once.
    QSignalSpy starts(rig.model.get(), &model::AppModel::authErrorChanged);
    QTest::keyClick(&screen.password, Qt::Key_Return);
    QTest::mouseClick(&screen.button, Qt::LeftButton);
    EXPECT_EQ(starts.count(), 0);

    api.answer(401, R"({"error":"Wrong email or password."})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.model->isBusy(); }));
    EXPECT_EQ(screen.button.text(), QStringLiteral("Sign in"));
    EXPECT_TRUE(screen.button.isEnabled());
    EXPECT_TRUE(screen.errorShows(QStringLiteral("Wrong email or password.")));
    EXPECT_EQ(screen.password.text(), QStringLiteral("pw"));
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-error"));

    // The next attempt clears the error before it is sent.
    QTest::keyClick(&screen.password, Qt::Key_Return);
    EXPECT_TRUE(rig.model->isBusy());
    EXPECT_FALSE(screen.error.isVisible());
}

TEST(LoginViewTest, FixedWidthsCentredAndTheErrorLineTakesSpaceOnlyWhileShown) {
    const QString sentence = QStringLiteral("Your account is locked after too many attempts. Wait a few "
                                            "minutes, then sign in again or reset your password.");
    test::ModelRig rig;
    rig.api->serve({{"POST auth/token", {401, R"({"error":")" + sentence.toStdString() + R"("})"}}});
    Screen screen(rig.start());
    QRect password = screen.place(screen.password);
    EXPECT_EQ(screen.place(screen.button).top(), password.bottom() + 1 + 14);
    EXPECT_EQ(screen.place(screen.freePlan).top(), screen.place(screen.button).bottom() + 1 + 14);
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-idle"));

    QTest::keyClicks(&screen.email, QStringLiteral("me@k"));
    QTest::keyClicks(&screen.password, QStringLiteral("pw"));
    QTest::keyClick(&screen.password, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.errorShows(sentence); }));
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-error-long"));
    for (const int width : {760, 1200}) {
        screen.window.resize(width, 800);
        const QRect error = screen.place(screen.error);
        password = screen.place(screen.password); // the column is centred, so it grows upwards too
        EXPECT_EQ(QRect(error.left(), error.top(), 360, error.height()), error);
        EXPECT_EQ(error.topLeft(), password.bottomLeft() + QPoint(0, 1 + 14));
        EXPECT_GE(error.height(), 2 * screen.error.fontMetrics().lineSpacing()); // wrapped, not clipped
        EXPECT_EQ(screen.place(screen.button),
                  QRect(error.left(), error.bottom() + 1 + 14, 360, screen.button.height()));

        const QRect form = screen.place(*screen.email.parentWidget());
        const QRect panel = screen.place(screen.panel);
        EXPECT_EQ(form.width(), 440);
        EXPECT_EQ(panel, QRect(form.right() + 1, 0, 320, 800));
        EXPECT_EQ(form.left(), width - 1 - panel.right());
    }
}

TEST(BrandPanelTest, DotsSitAroundTheLogoOverTheNavyGradient) {
    BrandPanel panel;
    panel.resize(320, 680);
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    const auto* logo = panel.findChild<LogoTile*>();
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->size(), QSize(82, 82));
    const QPoint centre = logo->mapTo(&panel, QPoint(41, 41));
    EXPECT_EQ(centre.x(), 160);

    const QImage image = panel.grab().toImage();
    EXPECT_EQ(image.pixelColor(centre + QPoint(-90, -70)), palette::cyan400);
    EXPECT_EQ(image.pixelColor(centre + QPoint(95, 80)), palette::blue400);
    EXPECT_EQ(image.pixelColor(0, 0), palette::navy900);
    EXPECT_EQ(image.pixelColor(319, 679), palette::navy700);

    test::saveScreenshot(panel, QStringLiteral("brand-panel"));
}

} // namespace
} // namespace korvel::ui
