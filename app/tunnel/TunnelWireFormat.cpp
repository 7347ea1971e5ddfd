#include "TunnelWireFormat.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace korvel::tunnel {
namespace {

QByteArray encode(const QJsonObject& request) {
    return QJsonDocument(request).toJson(QJsonDocument::Compact) + '\0';
}

} // namespace

QByteArray connectRequest(const QString& config) {
    return encode({{QStringLiteral("method"), QStringLiteral("korvel.tunneld.Connect")},
                   {QStringLiteral("parameters"), QJsonObject{{QStringLiteral("config"), config}}}});
}

QByteArray disconnectRequest() {
    return encode({{QStringLiteral("method"), QStringLiteral("korvel.tunneld.Disconnect")}});
}

std::optional<QString> replyFailure(QByteArrayView message) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(message.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        return invalidConnection();
    }
    const QJsonObject reply = document.object();
    const QJsonValue error = reply.value(QStringLiteral("error"));
    if (error.isString()) {
        // The daemon refused the request itself, which this client only sends well-formed: the two
        // programs do not speak the same protocol version.
        return unavailable(
            QStringLiteral("the service did not accept the request (%1).").arg(error.toString()));
    }
    const QJsonValue parameters = reply.value(QStringLiteral("parameters"));
    if (!error.isUndefined() || !parameters.isObject()) {
        return invalidConnection();
    }
    const QJsonValue text = parameters.toObject().value(QStringLiteral("message"));
    if (text.isUndefined() || text.isNull()) {
        return std::nullopt;
    }
    if (!text.isString()) {
        return invalidConnection();
    }
    if (text.toString().isEmpty()) {
        return std::nullopt;
    }
    return text.toString();
}

QString unavailable(const QString& description) {
    return QStringLiteral("The VPN tunnel service is unavailable: ") + description;
}

QString socketMissing(const QString& socketPath) {
    return unavailable(QStringLiteral("its socket %1 does not exist.").arg(socketPath));
}

bool isSocketMissing(const QString& message) {
    return message.startsWith(unavailable(QStringLiteral("its socket "))) &&
           message.endsWith(QStringLiteral(" does not exist."));
}

QString invalidConnection() {
    return QStringLiteral("The VPN tunnel service returned an invalid connection.");
}

} // namespace korvel::tunnel
