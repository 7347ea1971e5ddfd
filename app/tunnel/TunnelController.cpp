#include "TunnelController.h"

#include "ApiError.h"
#include "TunnelExchange.h"
#include "TunnelWireFormat.h"

#include <QFileInfo>

namespace korvel::tunnel {

TunnelController::TunnelController(QString serviceDefinitionPath, QString socketPath, QString markerDirectory)
    : serviceDefinitionPath_(std::move(serviceDefinitionPath)), socketPath_(std::move(socketPath)),
      markerPath_(markerDirectory + QLatin1Char('/') + QString::fromUtf8(kInterfaceName) +
                  QStringLiteral(".name")) {}

QCoro::Task<> TunnelController::connect(QString config) { return call(connectRequest(config)); }

QCoro::Task<> TunnelController::disconnect() { return call(disconnectRequest()); }

bool TunnelController::isUp() const { return QFileInfo::exists(markerPath_); }

QCoro::Task<> TunnelController::call(QByteArray request) const {
    if (!QFileInfo::exists(serviceDefinitionPath_)) {
        throw api::ApiError(QStringLiteral(
            "Korvel's tunnel service is missing. Reinstall Korvel using the installer package."));
    }
    // Nothing of the controller is used after the wait, so it may go away while a call is in flight.
    TunnelExchange exchange(socketPath_, std::move(request));
    const std::optional<QString> failure = co_await exchange;
    if (failure) {
        throw api::ApiError(*failure);
    }
}

} // namespace korvel::tunnel
