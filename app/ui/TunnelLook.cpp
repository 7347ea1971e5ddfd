#include "TunnelLook.h"

#include "Palette.h"

namespace korvel::ui {

TunnelLook TunnelLook::of(const tunnel::TunnelState& state) {
    using Kind = tunnel::TunnelState::Kind;
    switch (state.kind()) {
    case Kind::connecting:
        return {palette::cyan400, QStringLiteral("Connecting..."),
                QStringLiteral("Securing your connection")};
    case Kind::connected:
        return {palette::green500, QStringLiteral("Protected"),
                QStringLiteral("Your traffic is encrypted through Korvel")};
    case Kind::error:
        return {palette::red500, QStringLiteral("Connection problem"), state.message()};
    case Kind::disconnected:
        break;
    }
    return {palette::blue500, QStringLiteral("Not protected"),
            QStringLiteral("You are using your normal connection")};
}

} // namespace korvel::ui
