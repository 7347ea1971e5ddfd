#pragma once

#include "Account.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"

#include <QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkReply;
class QNetworkRequest;

namespace korvel::api {

// The application's only door to the account web API. Every operation fails with an ApiError and
// nothing else; none retries. Operations prepare their request when called, so a token change affects
// only later calls. Destroying the client aborts what is in flight: those operations fail as unreachable.
class ApiClient {
public:
    static constexpr std::chrono::milliseconds kTransferTimeout{30000};
    // Larger response bodies are abandoned so a broken server cannot exhaust memory.
    static constexpr qsizetype kMaxBodyBytes = 16 * 1024 * 1024;

    // baseUrl: used unchanged when given; else KORVEL_API, else KorvelApiBase in
    // <resourcesFolder>/Info.ini, else the built-in default.
    explicit ApiClient(std::optional<QString> baseUrl = std::nullopt,
                       const QString& resourcesFolder = defaultResourcesFolder(),
                       std::chrono::milliseconds transferTimeout = kTransferTimeout);
    ~ApiClient();
    ApiClient(const ApiClient&) = delete;
    ApiClient& operator=(const ApiClient&) = delete;

    // <prefix>/Resources beside <prefix>/bin of the running executable.
    static QString defaultResourcesFolder();
    // The message of every failed transfer: the server was not reached, so nothing was decided.
    static QString unreachableMessage();

    const QUrl& baseUrl() const { return baseUrl_; }
    const std::optional<QString>& token() const { return token_; }
    void setToken(std::optional<QString> token) { token_ = std::move(token); }

    QCoro::Task<TokenResponse> login(QString email, QString password);
    QCoro::Task<Account> account();
    QCoro::Task<QList<Device>> devices();
    QCoro::Task<Device> createDevice(QString name);
    QCoro::Task<QList<ServerLocation>> servers();
    // The configuration text, never empty. No host name, or an empty one, lets the server choose.
    QCoro::Task<QString> wireGuardConfig(qint64 deviceId, std::optional<QString> hostname);

private:
    QNetworkRequest prepare(const QString& path) const;
    QNetworkReply* get(const QString& path);
    QNetworkReply* post(const QString& path, const QByteArray& body);

    template <class T>
    static QCoro::Task<T> send(QNetworkReply* reply);

    QUrl baseUrl_;
    std::optional<QString> token_;
    QNetworkAccessManager manager_;
};

} // namespace korvel::api
