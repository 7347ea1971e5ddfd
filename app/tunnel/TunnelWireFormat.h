#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The application's side of the daemon's varlink protocol: each message is one JSON object followed by
// a NUL byte, one request and one reply per connection.
namespace korvel::tunnel {

// A reply of this many bytes without its NUL is abandoned, so a broken peer cannot exhaust memory. The
// daemon's longest reply is far shorter.
inline constexpr qsizetype kMaxReplyBytes = 1024 * 1024;

// Requests, NUL included.
QByteArray connectRequest(const QString& config);
QByteArray disconnectRequest();

// The failure a reply message (without its NUL) stands for, or nullopt for success: no message, a null
// one or an empty one.
std::optional<QString> replyFailure(QByteArrayView message);

// "The VPN tunnel service is unavailable: " followed by `description`.
QString unavailable(const QString& description);
// The daemon's socket is not there: the service is not installed or not enabled.
QString socketMissing(const QString& socketPath);
bool isSocketMissing(const QString& message);
// A peer that does not answer as the daemon does.
QString invalidConnection();

} // namespace korvel::tunnel
