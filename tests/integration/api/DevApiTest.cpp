#include "ApiClient.h"
#include "AwaitTask.h"
#include "ComputerName.h"
#include "ConfigurationSafety.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sodium.h>

#include <tuple>
#include <utility>

namespace korvel::api {
namespace {

// Starts korvel-devapi on a free loopback port (the process ends with `process`); its API base, or ""
// when it did not come up.
QString startDevApi(QProcess& process, const QStringList& arguments) {
    process.start(QStringLiteral(KORVEL_DEVAPI),
                  QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    const QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!output.contains('\n') && process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        process.waitForReadyRead(100);
        output += process.readAllStandardOutput();
    }
    const QByteArray prefix = "Listening on ";
    return output.startsWith(prefix) ? QString::fromUtf8(output.mid(prefix.size()).trimmed()) : QString();
}

QString configValue(const QString& config, const char* key) {
    return QRegularExpression(QStringLiteral("^%1 = (.*)$").arg(QLatin1String(key)),
                              QRegularExpression::MultilineOption)
        .match(config)
        .captured(1);
}

// The public key WireGuard derives from a private key.
QString publicKeyOf(const QString& privateKey) {
    const QByteArray secret = QByteArray::fromBase64(privateKey.toLatin1());
    QByteArray publicKey(crypto_scalarmult_BYTES, '\0');
    if (secret.size() != crypto_scalarmult_SCALARBYTES) {
        return {};
    }
    crypto_scalarmult_base(reinterpret_cast<unsigned char*>(publicKey.data()),
                           reinterpret_cast<const unsigned char*>(secret.constData()));
    return QString::fromLatin1(publicKey.toBase64());
}

TEST(DevApi, SignInDevicesServersAndASafeConfiguration) {
    const QTemporaryDir dir;
    const QString hook = dir.filePath(QStringLiteral("hook"));
    const QString record = dir.filePath(QStringLiteral("arguments"));
    QFile script(hook);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    // Records its arguments; refuses Frankfurt.
    script.write(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n[ \"$3\" != de-fra-1.korvel.example ]\n")
            .arg(record)
            .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    // Amsterdam's status in capitals, which the server reads as the application does.
    QFile demoSeed(QStringLiteral(KORVEL_DEMO_SEED));
    QFile seed(dir.filePath(QStringLiteral("seed.json")));
    ASSERT_TRUE(demoSeed.open(QIODevice::ReadOnly) && seed.open(QIODevice::WriteOnly));
    QByteArray seedText = demoSeed.readAll();
    const qsizetype amsterdam = seedText.indexOf("\"status\": \"online\"", seedText.indexOf("Amsterdam"));
    seed.write(seedText.replace(amsterdam, 18, "\"status\": \"ONLINE\""));
    seed.close();
    QProcess process;
    const QString url =
        startDevApi(process, {QStringLiteral("--seed"), seed.fileName(), QStringLiteral("--hook"), hook});
    ASSERT_FALSE(url.isEmpty()) << process.readAllStandardError().toStdString();
    ApiClient client(url, {});

    const TokenResponse token =
        valueOf(client.login(QStringLiteral("demo@korvel.example"), QStringLiteral("korvel-demo")));
    EXPECT_EQ(token.name, QStringLiteral("Linux (%1)").arg(platform::ComputerName::current()));
    client.setToken(token.token);
    EXPECT_EQ(valueOf(client.account()).email, QStringLiteral("demo@korvel.example"));
    EXPECT_TRUE(valueOf(client.devices()).isEmpty());
    const Device device = valueOf(client.createDevice(QStringLiteral("Linux (smoke)")));
    const QList<Device> devices = valueOf(client.devices());
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(std::tuple(devices[0].id, devices[0].name, devices[0].platform),
              std::tuple(device.id, QStringLiteral("Linux (smoke)"), QStringLiteral("linux")));
    const QList<ServerLocation> servers = valueOf(client.servers());
    ASSERT_EQ(servers.size(), 3);
    EXPECT_EQ(servers[2].status, QStringLiteral("offline"));

    // The least loaded online location; the hook learns the device's key and address.
    const QString config = valueOf(client.wireGuardConfig(device.id, QString()));
    EXPECT_TRUE(service::configurationIsSafe(config.toStdString())) << config.toStdString();
    EXPECT_EQ(configValue(config, "Endpoint"), QStringLiteral("203.0.113.20:51820"));
    EXPECT_EQ(configValue(config, "Address"), QStringLiteral("10.64.0.2/32"));
    QFile arguments(record);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(arguments.readAll()).split(u'\n'),
              QStringList({publicKeyOf(configValue(config, "PrivateKey")), QStringLiteral("10.64.0.2/32"),
                           QStringLiteral("nl-ams-1.korvel.example"), QString()}));

    const std::tuple<qint64, QString, const char*> refusals[] = {
        {device.id + 1, {}, "This device is not registered on your account."},
        {device.id, QStringLiteral("x"), "There is no server location x."},
        {device.id, servers[2].hostname, "New York is offline right now. Please choose another location."},
        {device.id, servers[0].hostname,
         "The server location could not be prepared for this device. Please try again."},
    };
    for (const auto& [id, hostname, message] : refusals) {
        EXPECT_EQ(failureOf(client.wireGuardConfig(id, hostname)), QString::fromUtf8(message));
    }
}

// A certificate no authority the client trusts has signed is refused; trusted, the same server answers.
TEST(DevApi, HttpsNeedsACertificateTheClientTrusts) {
    const QString certificate = QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.pem");
    QProcess process;
    const QString url =
        startDevApi(process, {QStringLiteral("--tls-cert"), certificate, QStringLiteral("--tls-key"),
                              QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.key")});
    ASSERT_TRUE(url.startsWith(QStringLiteral("https://"))) << process.readAllStandardError().toStdString();
    EXPECT_EQ(failureOf(ApiClient(url, {}).servers()),
              QStringLiteral("Could not reach Korvel. Check your internet connection."));

    const QSslConfiguration system = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = system;
    ASSERT_TRUE(trusting.addCaCertificates(certificate));
    QSslConfiguration::setDefaultConfiguration(trusting);
    // A new client: Qt keeps a connection's configuration for as long as it keeps the connection.
    EXPECT_EQ(failureOf(ApiClient(url, {}).servers()),
              QStringLiteral("Your session has ended. Please sign in again."));

    QSslConfiguration::setDefaultConfiguration(system);
}

} // namespace
} // namespace korvel::api
