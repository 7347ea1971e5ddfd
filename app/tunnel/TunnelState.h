#pragma once

#include <QString>

namespace korvel::tunnel {

// The tunnel state the application shows. Only an error carries a message, so two states are equal
// exactly when their case and message are.
class TunnelState {
public:
    enum class Kind { disconnected, connecting, connected, error };

    TunnelState() = default;

    static TunnelState disconnected() { return TunnelState(Kind::disconnected, {}); }
    static TunnelState connecting() { return TunnelState(Kind::connecting, {}); }
    static TunnelState connected() { return TunnelState(Kind::connected, {}); }
    static TunnelState error(QString message) { return TunnelState(Kind::error, std::move(message)); }

    Kind kind() const { return kind_; }
    // The text shown to the user; empty for every other case.
    const QString& message() const { return message_; }

    bool operator==(const TunnelState&) const = default;

private:
    TunnelState(Kind kind, QString message) : kind_(kind), message_(std::move(message)) {}

    Kind kind_ = Kind::disconnected;
    QString message_;
};

} // namespace korvel::tunnel
