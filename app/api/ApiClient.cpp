#include "ApiClient.h"

#include "ApiEnvelope.h"
#include "ApiError.h"
#include "ComputerName.h"
#include "WireGuardConfig.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSettings>
#include <QSslConfiguration>

namespace korvel::api {
namespace {

const QString kDefaultBase = QStringLiteral("https://api.korvel.example/api/v1");
const QString kUnexpectedResponse = QStringLiteral("The server returned an unexpected response.");
const QString kNoUsableConfiguration = QStringLiteral("The server did not return a usable configuration.");

std::optional<QString> infoValue(const QString& resourcesFolder) {
    const QSettings info(QDir(resourcesFolder).filePath(QStringLiteral("Info.ini")), QSettings::IniFormat);
    const QVariant value = info.value(QStringLiteral("KorvelApiBase"));
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

QUrl resolveBaseUrl(const std::optional<QString>& argument, const QString& resourcesFolder) {
    QString text;
    if (argument) {
        text = *argument;
    } else if (qEnvironmentVariableIsSet("KORVEL_API")) {
        text = qEnvironmentVariable("KORVEL_API");
    } else {
        text = infoValue(resourcesFolder).value_or(kDefaultBase);
    }
    if (!text.endsWith(u'/')) {
        text += u'/';
    }
    return QUrl(text);
}

enum class Arrival { whole, failed, undecodable };

// How a finished reply's response arrived. Qt turns a 4xx or 5xx status into a reply error of its own
// choosing (400 and 418 as protocol errors, 407 as a proxy error); only errors of the network layer, or no
// HTTP response at all, mean that the transfer failed.
Arrival arrival(QNetworkReply::NetworkError error, const QVariant& status) {
    if (error == QNetworkReply::NoError) {
        return Arrival::whole;
    }
    const bool networkLayer =
        error >= QNetworkReply::ConnectionRefusedError && error <= QNetworkReply::UnknownNetworkError;
    if (networkLayer || !status.isValid()) {
        return Arrival::failed;
    }
    // Below 400 Qt reports content it could not deliver: a broken compressed body, one that inflates past
    // the limit, or a redirect it cannot follow (whose body it drops).
    return status.toInt() >= 400 ? Arrival::whole : Arrival::undecodable;
}

struct Received {
    QByteArray body;
    int status = 0;
};

// Waits for the whole body; throws the unreachable error for a failed transfer and the unexpected
// response error for a body over the size limit.
QCoro::Task<Received> receive(QNetworkReply* rawReply) {
    const QPointer<QNetworkReply> reply(rawReply);
    Received received;
    bool oversized = false;
    const auto take = [&] {
        received.body += reply->read(ApiClient::kMaxBodyBytes + 1 - received.body.size());
        if (received.body.size() > ApiClient::kMaxBodyBytes && !oversized) {
            oversized = true;
            // Aborting from inside readyRead would resume this coroutine within Qt's emission.
            QMetaObject::invokeMethod(reply.data(), &QNetworkReply::abort, Qt::QueuedConnection);
        }
    };
    const QMetaObject::Connection reading = QObject::connect(reply, &QIODevice::readyRead, reply, [&] {
        if (!oversized) {
            take();
        }
    });
    co_await reply.data();
    if (reply.isNull()) {
        throw ApiError(ApiClient::unreachableMessage());
    }
    QObject::disconnect(reading);
    reply->deleteLater();
    if (oversized) {
        throw ApiError(kUnexpectedResponse);
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    switch (arrival(reply->error(), status)) {
    case Arrival::failed:
        throw ApiError(ApiClient::unreachableMessage());
    case Arrival::undecodable:
        throw ApiError(kUnexpectedResponse);
    case Arrival::whole:
        break;
    }
    take();
    if (oversized) {
        throw ApiError(kUnexpectedResponse);
    }
    received.status = status.isValid() ? status.toInt() : 0;
    co_return received;
}

} // namespace

ApiClient::ApiClient(std::optional<QString> baseUrl, const QString& resourcesFolder,
                     std::chrono::milliseconds transferTimeout)
    : baseUrl_(resolveBaseUrl(baseUrl, resourcesFolder)) {
    manager_.setTransferTimeout(static_cast<int>(transferTimeout.count()));
}

ApiClient::~ApiClient() {
    for (QNetworkReply* reply : manager_.findChildren<QNetworkReply*>()) {
        reply->abort();
    }
}

QString ApiClient::unreachableMessage() {
    return QStringLiteral("Could not reach Korvel. Check your internet connection.");
}

QString ApiClient::defaultResourcesFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources"));
}

QNetworkRequest ApiClient::prepare(const QString& path) const {
    QUrl url = baseUrl_;
    QString basePath = url.path(QUrl::FullyEncoded);
    if (!basePath.endsWith(u'/')) {
        basePath += u'/';
    }
    url.setPath(basePath + path, QUrl::TolerantMode);
    QNetworkRequest request(url);
    // Qt's own guard would stop an honest compressed body below our limit; ours counts inflated bytes.
    request.setDecompressedSafetyCheckThreshold(ApiClient::kMaxBodyBytes);
    request.setRawHeader("User-Agent", "korvel-linux/1.2");
    request.setRawHeader("Content-Type", "application/json");
    if (token_) {
        request.setRawHeader("Authorization", "Bearer " + token_->toUtf8());
    }
    QSslConfiguration tls = request.sslConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    request.setSslConfiguration(tls);
    return request;
}

QNetworkReply* ApiClient::get(const QString& path) { return manager_.get(prepare(path)); }

QNetworkReply* ApiClient::post(const QString& path, const QByteArray& body) {
    return manager_.post(prepare(path), body);
}

template <class T>
QCoro::Task<T> ApiClient::send(QNetworkReply* reply) {
    const Received received = co_await receive(reply);
    std::optional<ApiEnvelope<T>> envelope = ApiEnvelope<T>::decode(received.body);
    if (!envelope) {
        throw ApiError(kUnexpectedResponse);
    }
    if (envelope->error) {
        throw ApiError(*envelope->error);
    }
    if (!envelope->data || received.status < 200 || received.status > 299) {
        throw ApiError(QStringLiteral("Request failed (%1).").arg(received.status));
    }
    co_return std::move(*envelope->data);
}

QCoro::Task<TokenResponse> ApiClient::login(QString email, QString password) {
    const QJsonObject body{
        {QStringLiteral("email"), email},
        {QStringLiteral("password"), password},
        {QStringLiteral("name"), QStringLiteral("Linux (%1)").arg(platform::ComputerName::current())},
    };
    return send<TokenResponse>(
        post(QStringLiteral("auth/token"), QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

QCoro::Task<Account> ApiClient::account() { return send<Account>(get(QStringLiteral("account"))); }

QCoro::Task<QList<Device>> ApiClient::devices() {
    return send<QList<Device>>(get(QStringLiteral("devices")));
}

QCoro::Task<Device> ApiClient::createDevice(QString name) {
    const QJsonObject body{
        {QStringLiteral("name"), name},
        {QStringLiteral("platform"), QStringLiteral("linux")},
        {QStringLiteral("protocol"), QStringLiteral("wireguard")},
    };
    return send<Device>(post(QStringLiteral("devices"), QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

QCoro::Task<QList<ServerLocation>> ApiClient::servers() {
    return send<QList<ServerLocation>>(get(QStringLiteral("servers")));
}

QCoro::Task<QString> ApiClient::wireGuardConfig(qint64 deviceId, std::optional<QString> hostname) {
    QJsonObject body{{QStringLiteral("device_id"), deviceId}};
    if (hostname && !hostname->isEmpty()) {
        body.insert(QStringLiteral("hostname"), *hostname);
    }
    QNetworkReply* reply =
        post(QStringLiteral("vpn/configs/wireguard"), QJsonDocument(body).toJson(QJsonDocument::Compact));
    // Only locals from here on: the client may be gone by the time the reply arrives.
    const WireGuardConfig result = co_await send<WireGuardConfig>(reply);
    if (result.config.isEmpty()) {
        throw ApiError(kNoUsableConfiguration);
    }
    co_return result.config;
}

} // namespace korvel::api
