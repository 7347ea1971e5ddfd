// The sign-in screen as the window shows it while signed out, over a model built on the shared fakes.
#include "LoginView.h"

#include "ContentView.h"
#include "ModelFakes.h"
#include "Screenshot.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace korvel::ui {
namespace {

struct Screen {
    explicit Screen(model::AppModel& model)
        : window(model), email(*window.findChild<QLineEdit*>(QStringLiteral("email"))),
          password(*window.findChild<QLineEdit*>(QStringLiteral("password"))),
          error(*window.findChild<QLabel*>(QStringLiteral("authError"))),
          button(*window.findChild<QPushButton*>(QStringLiteral("signIn"))) {
        window.resize(760, 680);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    bool errorShows(const QString& text) const { return error.isVisible() && error.text() == text; }

    ContentView window;
    QLineEdit& email;
    QLineEdit& password;
    QLabel& error;
    QPushButton& button;
};

TEST(LoginViewTest, BusyWhileSigningInThenTheErrorLineUntilTheNextAttempt) {
    const QByteArray sentence = "Your account is locked after too many attempts. Wait a few minutes, then "
                                "sign in again or reset your password.";
    QTcpServer held; // takes the request and answers only when told
    held.listen(QHostAddress::LocalHost);
    test::ModelRig rig;
    Screen screen(rig.start(test::baseOn(held.serverPort())));
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-idle"));
    QTest::keyClicks(&screen.email, QStringLiteral("me@korvel.example"));
    QTest::keyClicks(&screen.password, QStringLiteral("pw"));
    QTest::mouseClick(&screen.button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.hasPendingConnections(); }));
    EXPECT_EQ(screen.button.text(), QStringLiteral("Signing in..."));
    EXPECT_FALSE(screen.button.isEnabled());
    EXPECT_FALSE(screen.error.isVisible());
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-busy"));
    // login() clears authError first thing, so any second start would show here at once.
    QSignalSpy starts(rig.model.get(), &model::AppModel::authErrorChanged);
    QTest::keyClick(&screen.password, Qt::Key_Return);
    EXPECT_EQ(starts.count(), 0);

    QTcpSocket* socket = held.nextPendingConnection();
    const QByteArray body = R"({"error":")" + sentence + R"("})";
    socket->write(
        "HTTP/1.1 401 No\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return screen.errorShows(QString::fromUtf8(sentence)); }));
    EXPECT_EQ(screen.button.text(), QStringLiteral("Sign in"));
    EXPECT_TRUE(screen.button.isEnabled());
    EXPECT_GE(screen.error.height(), 2 * screen.error.fontMetrics().lineSpacing()); // wrapped, not clipped
    test::saveScreenshot(screen.window, QStringLiteral("sign-in-error"));
    QTest::mouseClick(screen.window.findChild<QPushButton*>(QStringLiteral("freePlan")), Qt::LeftButton);
    EXPECT_EQ(rig.desktop.opened, test::Log{"https://korvel.example/free-vpn/"});

    QTest::keyClick(&screen.password, Qt::Key_Return);
    EXPECT_FALSE(screen.error.isVisible());
}

} // namespace
} // namespace korvel::ui
