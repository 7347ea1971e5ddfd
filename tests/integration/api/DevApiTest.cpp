#include "AddressPool.h"
#include "ApiClient.h"
#include "AwaitTask.h"
#include "ComputerName.h"
#include "ConfigurationSafety.h"
#include "DevApiProcess.h"
#include "KeyPair.h"
#include "Seed.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sodium.h>

namespace korvel::api {
namespace {

const QString kCouldNotReach = QStringLiteral("Could not reach Korvel. Check your internet connection.");

template <class T>
T valueOf(const Outcome<T>& outcome) {
    if (const Failure* failure = std::get_if<Failure>(&outcome)) {
        ADD_FAILURE() << failure->message.toStdString();
    }
    const T* value = std::get_if<T>(&outcome);
    return value != nullptr ? *value : T{};
}

QString configValue(const QString& config, const QString& key) {
    const QRegularExpression line(QStringLiteral("^%1 = (.*)$").arg(key),
                                  QRegularExpression::MultilineOption);
    return line.match(config).captured(1);
}

// The public key WireGuard derives from a configuration's private key.
QString publicKeyOf(const QString& privateKey) {
    const QByteArray secret = QByteArray::fromBase64(privateKey.toLatin1());
    if (secret.size() != crypto_scalarmult_SCALARBYTES) {
        return {};
    }
    QByteArray publicKey(crypto_scalarmult_BYTES, '\0');
    crypto_scalarmult_base(reinterpret_cast<unsigned char*>(publicKey.data()),
                           reinterpret_cast<const unsigned char*>(secret.constData()));
    return QString::fromLatin1(publicKey.toBase64());
}

class DevApi : public testing::Test {
protected:
    QTemporaryDir resources;
};

TEST_F(DevApi, SignInDevicesServersAndASafeConfiguration) {
    DevApiProcess devapi({QStringLiteral("--seed"), QStringLiteral(KORVEL_DEMO_SEED)});
    ASSERT_FALSE(devapi.url().isEmpty()) << devapi.errors().toStdString();
    ApiClient client(devapi.url(), resources.path());

    EXPECT_EQ(
        failureOf(awaitTask(client.login(QStringLiteral("demo@korvel.example"), QStringLiteral("wrong")))),
        QStringLiteral("Invalid email or password."));
    EXPECT_EQ(failureOf(awaitTask(client.account())),
              QStringLiteral("Your session has ended. Please sign in again."));

    const TokenResponse token = valueOf(
        awaitTask(client.login(QStringLiteral("demo@korvel.example"), QStringLiteral("korvel-demo"))));
    ASSERT_FALSE(token.token.isEmpty());
    EXPECT_EQ(token.name, QStringLiteral("Linux (%1)").arg(platform::ComputerName::current()));
    client.setToken(token.token);

    const Account account = valueOf(awaitTask(client.account()));
    EXPECT_EQ(account.email, QStringLiteral("demo@korvel.example"));
    ASSERT_TRUE(account.subscription && account.usage);
    EXPECT_EQ(account.subscription->plan, QStringLiteral("free"));
    EXPECT_EQ(account.usage->bytesUsed, 1610612736);
    EXPECT_EQ(account.usage->planIsFree, true);

    EXPECT_TRUE(valueOf(awaitTask(client.devices())).isEmpty());
    const Device device = valueOf(awaitTask(client.createDevice(QStringLiteral("Linux (smoke)"))));
    EXPECT_EQ(device.name, QStringLiteral("Linux (smoke)"));
    EXPECT_EQ(device.platform, QStringLiteral("linux"));
    EXPECT_EQ(device.protocol, QStringLiteral("wireguard"));
    const QList<Device> devices = valueOf(awaitTask(client.devices()));
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices.front().id, device.id);

    const QList<ServerLocation> servers = valueOf(awaitTask(client.servers()));
    ASSERT_EQ(servers.size(), 3);
    EXPECT_EQ(servers[2].status, QStringLiteral("offline"));

    // The automatic choice is the least loaded online location; a chosen one is honoured.
    const QString automatic = valueOf(awaitTask(client.wireGuardConfig(device.id, QString())));
    EXPECT_TRUE(service::configurationIsSafe(automatic.toStdString())) << automatic.toStdString();
    EXPECT_EQ(configValue(automatic, QStringLiteral("Endpoint")), QStringLiteral("203.0.113.20:51820"));
    const QString chosen = valueOf(awaitTask(client.wireGuardConfig(device.id, servers[0].hostname)));
    EXPECT_TRUE(service::configurationIsSafe(chosen.toStdString())) << chosen.toStdString();
    EXPECT_EQ(configValue(chosen, QStringLiteral("Endpoint")), QStringLiteral("203.0.113.10:51820"));
    // The device keeps its key and address from one configuration to the next.
    EXPECT_EQ(configValue(chosen, QStringLiteral("PrivateKey")),
              configValue(automatic, QStringLiteral("PrivateKey")));
    EXPECT_EQ(configValue(chosen, QStringLiteral("Address")), QStringLiteral("10.64.0.2/32"));

    EXPECT_EQ(failureOf(awaitTask(client.wireGuardConfig(device.id, servers[2].hostname))),
              QStringLiteral("New York is offline right now. Please choose another location."));
    EXPECT_EQ(failureOf(awaitTask(client.wireGuardConfig(device.id + 100, std::nullopt))),
              QStringLiteral("This device is not registered on your account."));
}

TEST_F(DevApi, TheHookLearnsTheDevicesPublicKeyAndAddress) {
    const QTemporaryDir dir;
    const QString hook = dir.filePath(QStringLiteral("hook"));
    const QString record = dir.filePath(QStringLiteral("arguments"));
    {
        QFile script(hook);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(record).toUtf8());
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    DevApiProcess devapi({QStringLiteral("--hook"), hook});
    ASSERT_FALSE(devapi.url().isEmpty()) << devapi.errors().toStdString();
    ApiClient client(devapi.url(), resources.path());
    client.setToken(
        valueOf(awaitTask(client.login(QStringLiteral("plus@korvel.example"), QStringLiteral("korvel-plus"))))
            .token);
    const Device device = valueOf(awaitTask(client.createDevice(QStringLiteral("Linux (hook)"))));
    const QString config = valueOf(awaitTask(client.wireGuardConfig(device.id, std::nullopt)));

    QFile arguments(record);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(arguments.readAll()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], publicKeyOf(configValue(config, QStringLiteral("PrivateKey"))));
    EXPECT_EQ(lines[1], configValue(config, QStringLiteral("Address")));
    EXPECT_EQ(lines[2], QStringLiteral("nl-ams-1.korvel.example"));

    // A failing hook withholds the configuration.
    QFile::remove(hook);
    EXPECT_EQ(failureOf(awaitTask(client.wireGuardConfig(device.id, std::nullopt))),
              QStringLiteral("The server location could not be prepared for this device. Please try again."));
}

TEST_F(DevApi, ASelfSignedCertificateIsRefused) {
    DevApiProcess devapi({QStringLiteral("--tls-cert"), QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.pem"),
                          QStringLiteral("--tls-key"), QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.key")});
    ASSERT_TRUE(devapi.url().startsWith(QStringLiteral("https://"))) << devapi.errors().toStdString();

    ApiClient client(devapi.url(), resources.path());
    EXPECT_EQ(failureOf(awaitTask(
                  client.login(QStringLiteral("demo@korvel.example"), QStringLiteral("korvel-demo")))),
              kCouldNotReach);

    // The same server answers a client that ignores the certificate: what was refused is the certificate.
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(devapi.url() + QStringLiteral("servers"))));
    reply->ignoreSslErrors();
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
    delete reply;
}

TEST(DevApiParts, KeyPairsAreWireGuardKeysThatMatch) {
    const devapi::KeyPair first = devapi::KeyPair::generate();
    const devapi::KeyPair second = devapi::KeyPair::generate();
    EXPECT_EQ(first.privateKey.size(), 44U);
    EXPECT_EQ(first.publicKey.size(), 44U);
    EXPECT_NE(first.privateKey, second.privateKey);
    EXPECT_EQ(publicKeyOf(QString::fromStdString(first.privateKey)).toStdString(), first.publicKey);
}

TEST(DevApiParts, AddressPoolSkipsNetworkServerAndBroadcast) {
    devapi::AddressPool pool("192.0.2.9/29"); // the network 192.0.2.8 to 192.0.2.15
    for (int host = 10; host <= 14; ++host) {
        EXPECT_EQ(pool.next(), "192.0.2." + std::to_string(host) + "/32");
    }
    EXPECT_EQ(pool.next(), std::nullopt);
    for (const char* bad :
         {"10.0.0.0", "10.0.0.0/31", "10.0.0.0/7", "10.0.0/16", "fd00::/64", "10.0.0.0/16x"}) {
        EXPECT_THROW(devapi::AddressPool{bad}, std::invalid_argument) << bad;
    }
}

TEST(DevApiParts, SeedsAreCheckedWhenRead) {
    EXPECT_NO_THROW(devapi::Seed::load(KORVEL_DEMO_SEED));
    for (const char* bad :
         {"[]", "{", R"({"accounts":[],"servers":{}})", R"({"accounts":[{"email":"a"}],"servers":[]})",
          R"({"accounts":[{"email":"a","password":"p","usage":[]}],"servers":[]})"}) {
        EXPECT_THROW(devapi::Seed::parse(bad), std::runtime_error) << bad;
    }
}

} // namespace
} // namespace korvel::api
