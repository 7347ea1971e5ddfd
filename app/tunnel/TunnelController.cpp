#include "TunnelController.h"

#include "ApiError.h"
#include "TunnelExchange.h"
#include "TunnelWireFormat.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace korvel::tunnel {
namespace {

// Links are followed, so /proc/self/exe gives the running file even after it was deleted.
std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        return std::nullopt;
    }
    return std::pair(status.st_dev, status.st_ino);
}

} // namespace

TunnelController::TunnelController(QString serviceDefinitionPath, QString socketPath, QString markerDirectory,
                                   const QString& executable)
    : serviceDefinitionPath_(std::move(serviceDefinitionPath)), socketPath_(std::move(socketPath)),
      markerPath_(markerDirectory + QLatin1Char('/') + QString::fromUtf8(kInterfaceName) +
                  QStringLiteral(".name")),
      executablePath_(QFileInfo(executable).canonicalFilePath()),
      executableIdentity_(fileIdentity(executable)) {}

QCoro::Task<> TunnelController::connect(QString config) { return call(connectRequest(config)); }

QCoro::Task<> TunnelController::disconnect() { return call(disconnectRequest()); }

bool TunnelController::isUp() const { return QFileInfo::exists(markerPath_); }

QCoro::Task<> TunnelController::call(QByteArray request) const {
    if (!QFileInfo::exists(serviceDefinitionPath_)) {
        throw api::ApiError(QStringLiteral(
            "Korvel's tunnel service is missing. Reinstall Korvel using the installer package."));
    }
    // The daemon admits only the installed file, so it would turn this program away without a word.
    if (executableReplaced()) {
        throw api::ApiError(QStringLiteral("Korvel has been updated. Quit Korvel and open it again."));
    }
    // Nothing of the controller is used after the wait, so it may go away while a call is in flight.
    TunnelExchange exchange(socketPath_, std::move(request));
    const std::optional<QString> failure = co_await exchange;
    if (failure) {
        throw api::ApiError(*failure);
    }
}

bool TunnelController::executableReplaced() const {
    return !executableIdentity_ || fileIdentity(executablePath_) != executableIdentity_;
}

} // namespace korvel::tunnel
