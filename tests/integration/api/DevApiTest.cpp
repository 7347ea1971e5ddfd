#include "ApiClient.h"
#include "AwaitTask.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sodium.h>

#include <tuple>

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

// Over HTTPS, which needs a certificate the client trusts: one no authority it trusts has signed is
// refused.
TEST(DevApi, ConfigurationsReachTheHookAndRefusalsSayWhy) {
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
    const QString certificate = QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.pem");
    QProcess process;
    const QString url = startDevApi(process, {QStringLiteral("--hook"), hook, QStringLiteral("--tls-cert"),
                                              certificate, QStringLiteral("--tls-key"),
                                              QStringLiteral(KORVEL_TEST_TLS_DIR "/localhost.key")});
    ASSERT_TRUE(url.startsWith(QStringLiteral("https://"))) << process.readAllStandardError().toStdString();
    EXPECT_EQ(failureOf(ApiClient(url, {}).servers()),
              QStringLiteral("Could not reach Korvel. Check your internet connection."));
    QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
    ASSERT_TRUE(trusting.addCaCertificates(certificate));
    QSslConfiguration::setDefaultConfiguration(trusting);
    // A new client: Qt keeps a connection's configuration for as long as it keeps the connection.
    ApiClient client(url, {});
    client.setToken(
        valueOf(client.login(QStringLiteral("demo@korvel.example"), QStringLiteral("korvel-demo"))).token);
    const Device device = valueOf(client.createDevice(QStringLiteral("Linux (smoke)")));

    // The least loaded online location; the hook learns the device's key and address.
    const QString config = valueOf(client.wireGuardConfig(device.id, QString()));
    QFile arguments(record);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(arguments.readAll()).split(u'\n'),
              QStringList({publicKeyOf(configValue(config, "PrivateKey")), configValue(config, "Address"),
                           QStringLiteral("nl-ams-1.korvel.example"), QString()}));

    const std::tuple<qint64, QString, const char*> refusals[] = {
        {device.id + 1, {}, "This device is not registered on your account."},
        {device.id, QStringLiteral("x"), "There is no server location x."},
        {device.id, QStringLiteral("us-nyc-1.korvel.example"),
         "New York is offline right now. Please choose another location."},
        {device.id, QStringLiteral("de-fra-1.korvel.example"),
         "The server location could not be prepared for this device. Please try again."},
    };
    for (const auto& [id, hostname, message] : refusals) {
        EXPECT_EQ(failureOf(client.wireGuardConfig(id, hostname)), QString::fromUtf8(message));
    }
}

} // namespace
} // namespace korvel::api
