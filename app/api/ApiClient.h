#pragma once

#include "Account.h"
#include "Device.h"
#include "ServerLocation.h"
#include "TokenResponse.h"

#include <QCoroTask>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;

namespace korvel::api {

// What one transfer gave: the body and status, or the message to fail with.
struct Transferred;

// The application's only door to the account web API. Every operation fails with an ApiError and
// nothing else; none retries. Operations prepare their request when called, so a token change affects
// only later calls. Destroying the client aborts what is in flight: those operations fail as unreachable.
//
// Replies are read on a thread of the client's own that does nothing else, so a body is counted, and
// abandoned past the limit, as it arrives, however busy the caller's thread is.
class ApiClient {
public:
    static constexpr std::chrono::milliseconds kTransferTimeout{30000};
    // Larger response bodies are abandoned so a broken server cannot exhaust memory.
    static constexpr qsizetype kMaxBodyBytes = 16 * 1024 * 1024;
    // How far Qt's own network thread may read ahead of the reading thread once a response has begun.
    static constexpr qint64 kReadAheadBytes = 1024 * 1024;

    // baseUrl: used unchanged when given; else KORVEL_API, else KorvelApiBase in the first of
    // settingsFiles that has one, else the built-in default. A cleartext base for any host but this
    // computer fails every operation with a sentence that names where it came from.
    explicit ApiClient(std::optional<QString> baseUrl = std::nullopt,
                       const QStringList& settingsFiles = defaultSettingsFiles(),
                       std::chrono::milliseconds transferTimeout = kTransferTimeout);
    ~ApiClient();
    ApiClient(const ApiClient&) = delete;
    ApiClient& operator=(const ApiClient&) = delete;

    // The administrator's file, kept across upgrades, before <prefix>/Resources/Info.ini beside
    // <prefix>/bin of the running executable, which each upgrade replaces.
    static QStringList defaultSettingsFiles();
    // The message of every failed transfer: the server was not reached, so nothing was decided.
    static QString unreachableMessage();

    const QUrl& baseUrl() const { return baseUrl_; }
    const std::optional<QString>& token() const { return token_; }
    // A token that is not usable is never sent.
    void setToken(std::optional<QString> token) { token_ = std::move(token); }
    // Printable ASCII without spaces: the only tokens that can go into a header as they are.
    static bool isUsableToken(const QString& token);

    QCoro::Task<TokenResponse> login(QString email, QString password);
    QCoro::Task<Account> account();
    QCoro::Task<QList<Device>> devices();
    QCoro::Task<Device> createDevice(QString name);
    QCoro::Task<QList<ServerLocation>> servers();
    // The configuration text, never empty. No host name, or an empty one, lets the server choose.
    QCoro::Task<QString> wireGuardConfig(qint64 deviceId, std::optional<QString> hostname);

private:
    QNetworkRequest prepare(const QString& path) const;
    // Starts the request on the reading thread: a GET, or a POST of the body.
    QFuture<Transferred> transfer(const QString& path, std::optional<QByteArray> body = std::nullopt);
    // Static: the client may be gone by the time the response arrives.
    template <class T>
    static QCoro::Task<T> decoded(QFuture<Transferred> arriving);

    QUrl baseUrl_;
    // Why the base may not be used.
    std::optional<QString> refusal_;
    std::optional<QString> token_;
    QThread reading_;
    // Both live on the reading thread; the manager is the context's child.
    QObject* context_;
    QNetworkAccessManager* manager_ = nullptr;
};

} // namespace korvel::api
