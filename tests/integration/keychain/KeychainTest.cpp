// Runs under keychain_session.sh, which picks the secret store; each test skips outside its own, so the
// binary never touches the keyring of the person running it.

#include "Keychain.h"

#include <QCoroTask>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using korvel::api::Keychain;
using QCoro::waitFor;

namespace {

QByteArray scenario() { return qgetenv("KORVEL_KEYCHAIN_SCENARIO"); }

// The item as any Secret Service client sees it (QtKeychain's attributes, spelt out here on purpose).
const QStringList kItem{QStringLiteral("user"), QStringLiteral("bearer-token"), QStringLiteral("server"),
                        QStringLiteral("korvel.app")};

QByteArray secretTool(const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.start(QStringLiteral("secret-tool"), arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}

int storedItemCount() {
    return int(secretTool(QStringList{QStringLiteral("search"), QStringLiteral("--all")} + kItem)
                   .count("\nlabel = "));
}

class KeychainWithKeyring : public testing::Test {
protected:
    void SetUp() override {
        if (scenario() != "keyring") {
            GTEST_SKIP() << "runs only under keychain_session.sh keyring";
        }
        waitFor(keychain.remove());
    }

    Keychain keychain;
};

// Each token is saved over what was there: our own item, or one another client stored under our service
// and key with QtKeychain's type attribute ("plaintext" holds the bytes, "base64" their encoding). Such an
// item loads only as UTF-8, and its type differs from ours, so only the delete before the add replaces it.
TEST_F(KeychainWithKeyring, TokensComeBackExactlyAsOneItemOthersCanRead) {
    const QString newer = QStringLiteral("newer");
    const struct {
        QString token;
        const char* foreignType = nullptr;
        QByteArray foreign = {};
        std::optional<QString> foreignLoaded = std::nullopt;
    } steps[] = {
        {QStringLiteral("tøkén-ключ-トークン-🔑")},
        {QString()},
        {QStringLiteral("before") + QChar(0) + QStringLiteral("after")},
        {QChar(0xFEFF) + QStringLiteral("starts with a byte order mark")},
        {newer, "plaintext", "older", QStringLiteral("older")},
        {newer, "plaintext", QByteArray("\xff\xfe", 2), std::nullopt},
        {newer, "base64", QByteArray("token\xc3", 6).toBase64(), std::nullopt}, // cut in a sequence
    };
    for (const auto& [token, foreignType, foreign, foreignLoaded] : steps) {
        SCOPED_TRACE(token.toStdString() + " over " + foreign.toHex().toStdString());
        if (foreignType != nullptr) {
            waitFor(keychain.remove());
            secretTool(QStringList{QStringLiteral("store"), QStringLiteral("--label=foreign")} + kItem +
                           QStringList{QStringLiteral("type"), QString::fromLatin1(foreignType)},
                       foreign);
            ASSERT_EQ(storedItemCount(), 1);
            EXPECT_EQ(waitFor(keychain.load()), foreignLoaded);
        }
        EXPECT_EQ(waitFor(keychain.save(token)), std::nullopt);
        EXPECT_EQ(waitFor(keychain.load()), std::optional<QString>(token));
        EXPECT_EQ(storedItemCount(), 1);
        EXPECT_EQ(QByteArray::fromBase64(secretTool(QStringList{QStringLiteral("lookup")} + kItem)),
                  token.toUtf8());
    }
    waitFor(keychain.remove());
    waitFor(keychain.remove());
    EXPECT_EQ(waitFor(keychain.load()), std::nullopt);
    EXPECT_EQ(storedItemCount(), 0);
}

// A session bus on which nothing provides the secret service (the command line's test signs in without
// any bus).
TEST(KeychainUnavailable, LoadsNoneAndSaysWhyNothingWasStored) {
    if (scenario() != "no-daemon") {
        GTEST_SKIP() << "runs only under keychain_session.sh no-daemon";
    }
    Keychain keychain;
    EXPECT_EQ(
        waitFor(keychain.save(QStringLiteral("unavailable-probe"))),
        QStringLiteral("Could not store the sign-in: no keyring (Secret Service) answered on the session "
                       "bus."));
    EXPECT_EQ(waitFor(keychain.load()), std::nullopt);
}

// The secret service name belongs to a peer that reads nothing and never answers, as a keyring does
// while it waits for the person to unlock it: a call waits for it with the caller's event loop running,
// however long that takes, and ends when the service does.
TEST(KeychainHungService, ACallWaitsForTheServiceWithTheEventLoopRunning) {
    if (scenario() != "hung") {
        GTEST_SKIP() << "runs only under keychain_session.sh hung";
    }
    const pid_t peer = qEnvironmentVariableIntValue("KORVEL_KEYCHAIN_HELPER_PID");
    ASSERT_GT(peer, 0);
    Keychain keychain;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 20) {
            ::kill(peer, SIGTERM);
        }
    });
    ticker.start(10);
    EXPECT_EQ(waitFor(keychain.load()), std::nullopt);
    EXPECT_GE(ticks, 20) << "the call ended before the service did";
}

} // namespace
