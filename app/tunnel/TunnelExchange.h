#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QString>

#include <coroutine>
#include <optional>

namespace korvel::tunnel {

// One request and its reply over a connection of its own, driven by the event loop of the thread that
// creates it. Awaiting it gives the failure text, or nullopt when the daemon replied success. It ends
// exactly once: the first of reply, connection failure, end of connection or an oversized reply
// decides, and the connection is closed at that moment. There is no time limit.
class TunnelExchange {
public:
    TunnelExchange(const QString& socketPath, QByteArray request);
    ~TunnelExchange();
    TunnelExchange(const TunnelExchange&) = delete;
    TunnelExchange& operator=(const TunnelExchange&) = delete;

    struct Awaiter {
        TunnelExchange& exchange;
        bool await_ready() const noexcept { return exchange.ended_; }
        void await_suspend(std::coroutine_handle<> waiting) noexcept { exchange.waiting_ = waiting; }
        std::optional<QString> await_resume() { return exchange.failure_; }
    };
    Awaiter operator co_await() { return Awaiter{*this}; }

private:
    void receive();
    void failed(QLocalSocket::LocalSocketError error);
    void closed();
    void end(std::optional<QString> failure);

    QString socketPath_;
    QByteArray request_;
    QByteArray received_;
    bool ended_ = false;
    std::optional<QString> failure_;
    std::coroutine_handle<> waiting_;
    QLocalSocket socket_;
};

} // namespace korvel::tunnel
