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

TEST(LoginViewTest, BusyWhileSigningInThenTheErrorLineUntilTheNextAttempt) {
    const QByteArray sentence = "Your account is locked after too many attempts. Wait a few minutes, then "
                                "sign in again or reset your password.";
    QTcpServer held; // takes the request and answers only when told
    held.listen(QHostAddress::LocalHost);
    test::ModelRig rig;
    ContentView window(rig.start(test::baseOn(held.serverPort())));
    ASSERT_TRUE(test::shown(window, {760, 680}));
    QLineEdit& password = *window.findChild<QLineEdit*>(QStringLiteral("password"));
    QLabel& error = *window.findChild<QLabel*>(QStringLiteral("authError"));
    QPushButton& button = *window.findChild<QPushButton*>(QStringLiteral("signIn"));
    test::saveScreenshot(window, QStringLiteral("sign-in-idle"));
    QTest::keyClicks(window.findChild<QLineEdit*>(QStringLiteral("email")),
                     QStringLiteral("me@korvel.example"));
    QTest::keyClicks(&password, QStringLiteral("pw"));
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return held.hasPendingConnections(); }));
    EXPECT_EQ(button.text(), QStringLiteral("Signing in..."));
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(error.isVisible());
    test::saveScreenshot(window, QStringLiteral("sign-in-busy"));
    // login() clears authError first thing, so any second start would show here at once.
    QSignalSpy starts(rig.model.get(), &model::AppModel::authErrorChanged);
    QTest::keyClick(&password, Qt::Key_Return);
    EXPECT_EQ(starts.count(), 0);

    QTcpSocket* socket = held.nextPendingConnection();
    const QByteArray body = R"({"error":")" + sentence + R"("})";
    socket->write(test::ApiStub::http(401, body));
    socket->disconnectFromHost();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return error.isVisible() && error.text() == QString::fromUtf8(sentence); }));
    EXPECT_EQ(button.text(), QStringLiteral("Sign in"));
    EXPECT_TRUE(button.isEnabled());
    EXPECT_GE(error.height(), 2 * error.fontMetrics().lineSpacing()); // wrapped, not clipped
    test::saveScreenshot(window, QStringLiteral("sign-in-error"));
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("freePlan")), Qt::LeftButton);
    EXPECT_EQ(rig.desktop.opened, test::Log{"https://korvel.example/free-vpn/"});

    QTest::keyClick(&password, Qt::Key_Return);
    EXPECT_FALSE(error.isVisible());
}

} // namespace
} // namespace korvel::ui
