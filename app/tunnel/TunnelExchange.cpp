#include "TunnelExchange.h"

#include "TunnelWireFormat.h"

#include <QMetaObject>

namespace korvel::tunnel {

TunnelExchange::TunnelExchange(const QString& socketPath, QByteArray request)
    : socketPath_(socketPath), request_(std::move(request)) {
    QObject::connect(&socket_, &QLocalSocket::connected, &socket_, [this] { socket_.write(request_); });
    QObject::connect(&socket_, &QLocalSocket::readyRead, &socket_, [this] { receive(); });
    QObject::connect(&socket_, &QLocalSocket::errorOccurred, &socket_,
                     [this](QLocalSocket::LocalSocketError error) { failed(error); });
    QObject::connect(&socket_, &QLocalSocket::disconnected, &socket_, [this] { closed(); });
    // A failure to connect may be reported before this returns; the exchange is then already over.
    socket_.connectToServer(socketPath_);
}

TunnelExchange::~TunnelExchange() {
    // Closing the socket emits signals that must not reach a half-destroyed exchange.
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
}

void TunnelExchange::receive() {
    if (ended_) {
        return;
    }
    received_ += socket_.readAll();
    const qsizetype nul = received_.indexOf('\0');
    if (nul >= 0) {
        end(replyFailure(QByteArrayView(received_).first(nul)));
    } else if (received_.size() > kMaxReplyBytes) {
        end(invalidConnection());
    }
}

void TunnelExchange::failed(QLocalSocket::LocalSocketError error) {
    if (error == QLocalSocket::PeerClosedError) {
        closed();
        return;
    }
    switch (error) {
    case QLocalSocket::ServerNotFoundError:
        end(socketMissing(socketPath_));
        break;
    case QLocalSocket::ConnectionRefusedError:
        end(unavailable(QStringLiteral("nothing is listening on %1.").arg(socketPath_)));
        break;
    case QLocalSocket::SocketAccessError:
        end(unavailable(QStringLiteral("this user may not open %1.").arg(socketPath_)));
        break;
    case QLocalSocket::SocketResourceError:
        end(unavailable(QStringLiteral("the system has no resources left for a connection.")));
        break;
    default:
        end(unavailable(QStringLiteral("the connection failed (%1).").arg(socket_.errorString())));
        break;
    }
}

void TunnelExchange::closed() {
    // Bytes that arrived with the end of the connection are read first: they may be the whole reply.
    receive();
    if (ended_) {
        return;
    }
    // A refused caller and a daemon that ended mid-call both leave without a word; a peer that sent
    // something else before leaving does not speak the protocol.
    end(received_.isEmpty() ? unavailable(QStringLiteral("the connection closed before the service replied."))
                            : invalidConnection());
}

void TunnelExchange::end(std::optional<QString> failure) {
    if (ended_) {
        return;
    }
    ended_ = true;
    failure_ = std::move(failure);
    socket_.abort();
    if (waiting_) {
        // Resumed from the event loop, not from inside the socket's signal: the awaiting coroutine may
        // destroy this exchange, and the socket with it, as soon as it runs.
        QMetaObject::invokeMethod(
            &socket_, [waiting = waiting_] { waiting.resume(); }, Qt::QueuedConnection);
    }
}

} // namespace korvel::tunnel
