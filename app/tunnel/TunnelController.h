#pragma once

#include "TunnelPaths.h"

#include <QCoroTask>
#include <QString>

#include <optional>
#include <sys/types.h>
#include <utility>

namespace korvel::tunnel {

// The application's only way to the tunnel daemon. Each call opens a connection of its own, sends one
// request and waits for the reply without a time limit, on the caller's event loop: the caller's
// thread is never blocked. Calls fail with an api::ApiError whose message is shown to the user
// unchanged. The controller keeps no state between calls.
//
// The operations are virtual so that the application's tests can put a fake in its place.
class TunnelController {
public:
    // socketPath must be absolute. `executable` is the running program, whose file the daemon checks.
    explicit TunnelController(QString serviceDefinitionPath = QString::fromUtf8(kServiceDefinitionPath),
                              QString socketPath = QString::fromUtf8(kSocketPath),
                              QString markerDirectory = QString::fromUtf8(kMarkerDirectory),
                              const QString& executable = QStringLiteral("/proc/self/exe"));
    virtual ~TunnelController() = default;
    TunnelController(const TunnelController&) = delete;
    TunnelController& operator=(const TunnelController&) = delete;

    virtual QCoro::Task<> connect(QString config);
    virtual QCoro::Task<> disconnect();
    // Whether the WireGuard tools' marker of our interface exists, whatever the last call returned.
    virtual bool isUp() const;

private:
    QCoro::Task<> call(QByteArray request) const;
    // Whether the file at the program's path is no longer the one that runs, as after a package upgrade.
    bool executableReplaced() const;

    QString serviceDefinitionPath_;
    QString socketPath_;
    QString markerPath_;
    QString executablePath_;
    std::optional<std::pair<dev_t, ino_t>> executableIdentity_;
};

} // namespace korvel::tunnel
