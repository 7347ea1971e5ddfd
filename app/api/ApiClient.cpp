#include "ApiClient.h"

#include "ApiEnvelope.h"
#include "ApiError.h"
#include "ComputerName.h"
#include "WireGuardConfig.h"

#include <QCoreApplication>
#include <QCoroFuture>
#include <QDir>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QSettings>
#include <QSslConfiguration>

#include <algorithm>
#include <memory>

namespace korvel::api {

struct Transferred {
    QByteArray body;
    int status = 0;
    std::optional<QString> failure;
};

namespace {

const QString kDefaultBase = QStringLiteral("https://api.korvel.example/api/v1");
const QString kUnexpectedResponse = QStringLiteral("The server returned an unexpected response.");
const QString kNoUsableConfiguration = QStringLiteral("The server did not return a usable configuration.");

std::optional<QString> settingValue(const QString& file) {
    const QSettings settings(file, QSettings::IniFormat);
    const QVariant value = settings.value(QStringLiteral("KorvelApiBase"));
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

struct Base {
    QUrl url;
    // The name the person who set the base knows it by.
    QString source;
};

Base resolveBaseUrl(const std::optional<QString>& argument, const QStringList& settingsFiles) {
    QString text;
    QString source = QStringLiteral("The API address");
    if (argument) {
        text = *argument;
    } else if (qEnvironmentVariableIsSet("KORVEL_API")) {
        text = qEnvironmentVariable("KORVEL_API");
        source = QStringLiteral("KORVEL_API");
    } else {
        text = kDefaultBase;
        for (const QString& file : settingsFiles) {
            if (const std::optional<QString> value = settingValue(file)) {
                text = *value;
                source = QStringLiteral("KorvelApiBase in ") + file;
                break;
            }
        }
    }
    if (!text.endsWith(u'/')) {
        text += u'/';
    }
    return {QUrl(text), source};
}

bool isLoopback(const QString& host) {
    return host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

// Cleartext would carry the password and the token across a network.
std::optional<QString> refusalOf(const Base& base) {
    if (!base.url.isValid() || base.url.scheme().compare(QStringLiteral("http"), Qt::CaseInsensitive) != 0 ||
        isLoopback(base.url.host())) {
        return std::nullopt;
    }
    return QStringLiteral("%1 must be an https:// address; http:// is allowed only for this computer "
                          "(localhost).")
        .arg(base.source);
}

int effectivePort(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.port(scheme == QStringLiteral("https") ? 443 : scheme == QStringLiteral("http") ? 80 : -1);
}

bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && effectivePort(a) == effectivePort(b);
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

void report(QPromise<Transferred>& promise, Transferred response) {
    promise.addResult(std::move(response));
    promise.finish();
}

// Qt's network thread reads no further ahead of the reply than its read buffer size. Qt passes the size on
// only to a request it has started, which happens for a GET before the reply is returned, and for a POST
// or a followed redirect a little later, in a call it queues on this thread.
void limitReadAhead(QNetworkReply* reply) {
    reply->setReadBufferSize(ApiClient::kReadAheadBytes);
    QMetaObject::invokeMethod(
        reply, [reply] { reply->setReadBufferSize(ApiClient::kReadAheadBytes); }, Qt::QueuedConnection);
}

// Reads the reply, on the reading thread, as it arrives. The body is kept in its pieces: joining them
// as they come would copy all of it at every step.
void read(QNetworkReply* reply, std::shared_ptr<QPromise<Transferred>> promise) {
    struct State {
        QList<QByteArray> pieces;
        qsizetype size = 0;
        std::optional<QString> failure;
    };
    const auto state = std::make_shared<State>();
    const QUrl origin = reply->request().url();
    const auto stop = [reply, state](const QString& why) {
        if (!state->failure) {
            state->failure = why;
            reply->abort();
        }
    };
    const auto take = [reply, state, stop] {
        while (!state->failure && reply->bytesAvailable() > 0) {
            state->pieces.append(reply->read(ApiClient::kMaxBodyBytes + 1 - state->size));
            state->size += state->pieces.last().size();
            if (state->size > ApiClient::kMaxBodyBytes) {
                stop(kUnexpectedResponse);
            }
        }
    };
    limitReadAhead(reply);
    QObject::connect(reply, &QIODevice::readyRead, reply, take);
    // Qt would copy every header, the token too, onto a request to wherever the server points.
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, origin, stop](const QUrl& target) {
        if (sameOrigin(origin, target)) {
            emit reply->redirectAllowed();
            limitReadAhead(reply);
        } else {
            stop(kUnexpectedResponse);
        }
    });
    // Content Qt cannot deliver, such as a broken compressed body, would otherwise be received and
    // dropped for as long as the server sends it.
    QObject::connect(reply, &QNetworkReply::errorOccurred, reply,
                     [reply, stop](QNetworkReply::NetworkError error) {
                         if (arrival(error, reply->attribute(QNetworkRequest::HttpStatusCodeAttribute)) ==
                             Arrival::undecodable) {
                             stop(kUnexpectedResponse);
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, take, promise] {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        Transferred response;
        if (!state->failure) {
            switch (arrival(reply->error(), status)) {
            case Arrival::failed:
                state->failure = ApiClient::unreachableMessage();
                break;
            case Arrival::undecodable:
                state->failure = kUnexpectedResponse;
                break;
            case Arrival::whole:
                take();
                break;
            }
        }
        if (state->failure) {
            response.failure = state->failure;
        } else {
            response.body.reserve(state->size);
            for (const QByteArray& piece : std::as_const(state->pieces)) {
                response.body += piece;
            }
            response.status = status.isValid() ? status.toInt() : 0;
        }
        report(*promise, std::move(response));
    });
    // A reply deleted unfinished, as the manager takes its replies along.
    QObject::connect(reply, &QObject::destroyed, [promise] {
        if (!promise->future().isFinished()) {
            report(*promise, {{}, 0, ApiClient::unreachableMessage()});
        }
    });
}

} // namespace

ApiClient::ApiClient(std::optional<QString> baseUrl, const QStringList& settingsFiles,
                     std::chrono::milliseconds transferTimeout)
    : context_(new QObject) {
    const Base base = resolveBaseUrl(baseUrl, settingsFiles);
    baseUrl_ = base.url;
    refusal_ = refusalOf(base);
    reading_.setObjectName(QStringLiteral("korvel-api"));
    context_->moveToThread(&reading_);
    reading_.start();
    QMetaObject::invokeMethod(
        context_,
        [this, transferTimeout] {
            manager_ = new QNetworkAccessManager(context_);
            manager_->setTransferTimeout(static_cast<int>(transferTimeout.count()));
        },
        Qt::BlockingQueuedConnection);
}

ApiClient::~ApiClient() {
    QMetaObject::invokeMethod(
        context_,
        [this] {
            for (QNetworkReply* reply : manager_->findChildren<QNetworkReply*>()) {
                reply->abort();
            }
        },
        Qt::BlockingQueuedConnection);
    // Deleted once the thread's loop has ended.
    context_->deleteLater();
    reading_.quit();
    reading_.wait();
}

QString ApiClient::unreachableMessage() {
    return QStringLiteral("Could not reach Korvel. Check your internet connection.");
}

bool ApiClient::isUsableToken(const QString& token) {
    return std::all_of(token.begin(), token.end(), [](QChar c) { return c > u' ' && c < u'\x7f'; });
}

QStringList ApiClient::defaultSettingsFiles() {
    return {
        QStringLiteral(KORVEL_ADMINISTRATOR_SETTINGS),
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/Info.ini"))};
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
    if (token_ && isUsableToken(*token_)) {
        request.setRawHeader("Authorization", "Bearer " + token_->toLatin1());
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    QSslConfiguration tls = request.sslConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    request.setSslConfiguration(tls);
    return request;
}

QFuture<Transferred> ApiClient::transfer(const QString& path, std::optional<QByteArray> body) {
    auto promise = std::make_shared<QPromise<Transferred>>();
    QFuture<Transferred> future = promise->future();
    promise->start();
    if (refusal_) {
        report(*promise, {{}, 0, refusal_});
        return future;
    }
    QMetaObject::invokeMethod(
        context_,
        [manager = manager_, request = prepare(path), body = std::move(body), promise] {
            read(body ? manager->post(request, *body) : manager->get(request), promise);
        },
        Qt::QueuedConnection);
    return future;
}

template <class T>
QCoro::Task<T> ApiClient::decoded(QFuture<Transferred> arriving) {
    const Transferred received = co_await arriving;
    if (received.failure) {
        throw ApiError(*received.failure);
    }
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
    QFuture<Transferred> arriving =
        transfer(QStringLiteral("auth/token"), QJsonDocument(body).toJson(QJsonDocument::Compact));
    // Only locals from here on, as below.
    TokenResponse response = co_await decoded<TokenResponse>(std::move(arriving));
    if (!isUsableToken(response.token)) {
        throw ApiError(kUnexpectedResponse);
    }
    co_return response;
}

QCoro::Task<Account> ApiClient::account() { return decoded<Account>(transfer(QStringLiteral("account"))); }

QCoro::Task<QList<Device>> ApiClient::devices() {
    return decoded<QList<Device>>(transfer(QStringLiteral("devices")));
}

QCoro::Task<Device> ApiClient::createDevice(QString name) {
    const QJsonObject body{
        {QStringLiteral("name"), name},
        {QStringLiteral("platform"), QStringLiteral("linux")},
        {QStringLiteral("protocol"), QStringLiteral("wireguard")},
    };
    return decoded<Device>(
        transfer(QStringLiteral("devices"), QJsonDocument(body).toJson(QJsonDocument::Compact)));
}

QCoro::Task<QList<ServerLocation>> ApiClient::servers() {
    return decoded<QList<ServerLocation>>(transfer(QStringLiteral("servers")));
}

QCoro::Task<QString> ApiClient::wireGuardConfig(qint64 deviceId, std::optional<QString> hostname) {
    QJsonObject body{{QStringLiteral("device_id"), deviceId}};
    if (hostname && !hostname->isEmpty()) {
        body.insert(QStringLiteral("hostname"), *hostname);
    }
    QFuture<Transferred> arriving =
        transfer(QStringLiteral("vpn/configs/wireguard"), QJsonDocument(body).toJson(QJsonDocument::Compact));
    // Only locals from here on: the client may be gone by the time the response arrives.
    const WireGuardConfig result = co_await decoded<WireGuardConfig>(std::move(arriving));
    if (result.config.isEmpty()) {
        throw ApiError(kNoUsableConfiguration);
    }
    co_return result.config;
}

} // namespace korvel::api
