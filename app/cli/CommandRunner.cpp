#include "CommandRunner.h"

#include "LocationsText.h"

#include "AppModel.h"
#include "TunnelWireFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace korvel::cli {
namespace {

using api::ServerLocation;
using tunnel::TunnelState;

const QString kListNotLoaded = QStringLiteral("Could not load the locations. Please try again.");

QString onOff(bool enabled) { return enabled ? QStringLiteral("on") : QStringLiteral("off"); }

QString tunnelStateName(TunnelState::Kind kind) {
    switch (kind) {
    case TunnelState::Kind::disconnected:
        return QStringLiteral("disconnected");
    case TunnelState::Kind::connecting:
        return QStringLiteral("connecting");
    case TunnelState::Kind::connected:
        return QStringLiteral("connected");
    case TunnelState::Kind::error:
        return QStringLiteral("error");
    }
    return {};
}

} // namespace

CommandRunner::CommandRunner(model::AppModel& model, QTextStream& out, QTextStream& err)
    : model_(model), out_(out), err_(err) {}

QCoro::Task<int> CommandRunner::run(Command command, QString password) {
    co_await model_.waitForRestoreAttempt();
    // As the main shell does when it is shown: a tunnel left up shows as connected when signed out too.
    model_.refreshState();
    int code = 2;
    switch (command.kind) {
    case Command::Kind::help:
    case Command::Kind::version:
        // Answered before any model exists.
        break;
    case Command::Kind::login:
        code = co_await login(command.email, password);
        break;
    case Command::Kind::logout:
        code = co_await logout();
        break;
    case Command::Kind::status:
        code = status(command.json);
        break;
    case Command::Kind::locations:
        code = locations(command);
        break;
    case Command::Kind::select:
        code = select(command);
        break;
    case Command::Kind::favorite:
        code = favorite(*command.hostname);
        break;
    case Command::Kind::connect:
        code = co_await connect(command);
        break;
    case Command::Kind::disconnect:
        code = co_await disconnect();
        break;
    case Command::Kind::settings:
        code = settings(command);
        break;
    }
    out_.flush();
    co_return code;
}

QCoro::Task<int> CommandRunner::login(QString email, QString password) {
    model_.setEmail(email);
    model_.setPassword(password);
    co_await model_.login();
    if (model_.authError()) {
        fail(*model_.authError());
        co_return 1;
    }
    // The next command would find no sign-in.
    if (model_.tokenStoreError()) {
        fail(*model_.tokenStoreError());
        co_return 1;
    }
    out_ << "Signed in.\n";
    printStatus();
    co_return 0;
}

QCoro::Task<int> CommandRunner::logout() {
    // Offline, the stored sign-in is kept and waits for the server: it is there to sign out of.
    const bool signedIn = model_.isSignedIn() || model_.isRestoreRetryScheduled();
    co_await model_.signOut();
    out_ << (signedIn ? "Signed out.\n" : "Not signed in.\n");
    co_return 0;
}

int CommandRunner::status(bool json) {
    if (json) {
        out_ << statusJson();
    } else if (model_.isSignedIn()) {
        printStatus();
    } else {
        printTunnel();
    }
    if (!model_.isSignedIn()) {
        explainNoSession();
        return 1;
    }
    return 0;
}

int CommandRunner::locations(const Command& command) {
    if (!hasSession()) {
        return 1;
    }
    if (!model_.serversLoaded()) {
        fail(kListNotLoaded);
        return 1;
    }
    const LocationsText text(lists_);
    out_ << (command.json ? QString::fromUtf8(text.json(model_, command.tab, command.search))
                          : text.table(model_, command.tab, command.search));
    return 0;
}

int CommandRunner::select(const Command& command) {
    if (!hasSession()) {
        return 1;
    }
    std::optional<ServerLocation> chosen;
    if (!command.automatic) {
        chosen = location(*command.hostname);
        if (!chosen) {
            return 1;
        }
    }
    model_.selectLocation(chosen);
    out_ << "Location: " << model_.selectedLocationLabel() << '\n';
    return 0;
}

int CommandRunner::favorite(const QString& hostname) {
    const QList<ServerLocation>& listed = model_.locations();
    const bool isListed = std::any_of(listed.begin(), listed.end(),
                                      [&](const ServerLocation& l) { return l.hostname == hostname; });
    if (!isListed && model_.favoriteHostnames().contains(hostname)) {
        // A favorite whose server has gone away can still be taken off the list.
        ServerLocation gone;
        gone.hostname = hostname;
        model_.toggleFavorite(gone);
        out_ << "Removed " << hostname << " from the favorites.\n";
        return 0;
    }
    if (!hasSession()) {
        return 1;
    }
    const std::optional<ServerLocation> chosen = location(hostname);
    if (!chosen) {
        return 1;
    }
    model_.toggleFavorite(*chosen);
    const QString name = QStringLiteral("%1 (%2)").arg(chosen->location, hostname);
    out_ << (model_.favoriteHostnames().contains(hostname)
                 ? QStringLiteral("Added %1 to the favorites.\n").arg(name)
                 : QStringLiteral("Removed %1 from the favorites.\n").arg(name));
    return 0;
}

QCoro::Task<int> CommandRunner::connect(Command command) {
    if (!hasSession()) {
        co_return 1;
    }
    const bool choosing = command.hostname || command.automatic;
    if (choosing) {
        std::optional<ServerLocation> chosen;
        if (command.hostname) {
            chosen = location(*command.hostname);
            if (!chosen) {
                co_return 1;
            }
        }
        model_.selectLocation(chosen);
    }
    if (isConnected() && !choosing) {
        printStatus();
        co_return 0;
    }
    const std::optional<QString> stayedUp = co_await model_.connectToSelection();
    if (stayedUp) {
        failStillUp(*stayedUp);
        co_return 1;
    }
    if (model_.state().kind() == TunnelState::Kind::error) {
        fail(model_.state().message());
        if (tunnel::isSocketMissing(model_.state().message())) {
            fail(QStringLiteral("Start it with: sudo systemctl enable --now korvel-tunneld.socket"));
        }
        co_return 1;
    }
    if (!isConnected()) {
        // The service reported success, yet the interface is not there.
        fail(QStringLiteral("Could not connect. Please try again."));
        co_return 1;
    }
    printStatus();
    co_return 0;
}

QCoro::Task<int> CommandRunner::disconnect() {
    if (isConnected()) {
        const std::optional<QString> failure = co_await model_.disconnect();
        if (isConnected()) {
            failStillUp(failure.value_or(QString()));
            co_return 1;
        }
    }
    printTunnel();
    co_return 0;
}

void CommandRunner::failStillUp(const QString& reason) {
    // The service's own sentence says why, where it gave one (a refusal, an update of Korvel).
    fail(reason.isEmpty() ? QStringLiteral("Could not disconnect. The tunnel is still up.") : reason);
}

int CommandRunner::settings(const Command& command) {
    if (command.launchAtLogin) {
        model_.setLaunchAtLogin(*command.launchAtLogin);
    }
    if (command.autoConnect) {
        model_.setAutoConnect(*command.autoConnect);
    }
    out_ << "Launch at login: " << onOff(model_.launchAtLogin()) << '\n'
         << "Auto-connect on launch: " << onOff(model_.autoConnect()) << '\n';
    if (model_.settingsError()) {
        fail(*model_.settingsError());
        return 1;
    }
    return 0;
}

bool CommandRunner::hasSession() {
    if (model_.isSignedIn()) {
        return true;
    }
    explainNoSession();
    return false;
}

void CommandRunner::explainNoSession() {
    if (model_.restoreError()) {
        fail(*model_.restoreError());
    }
    // Offline, the stored sign-in is kept: it works again once the server can be reached.
    if (!model_.isRestoreRetryScheduled()) {
        fail(QStringLiteral("Not signed in. Run: korvel login EMAIL"));
    }
}

std::optional<ServerLocation> CommandRunner::location(const QString& hostname) {
    if (!model_.serversLoaded()) {
        fail(kListNotLoaded);
        return std::nullopt;
    }
    const QList<ServerLocation>& listed = model_.locations();
    const auto found = std::find_if(listed.begin(), listed.end(),
                                    [&](const ServerLocation& l) { return l.hostname == hostname; });
    if (found == listed.end()) {
        fail(QStringLiteral("No location has the host name \"%1\". Run 'korvel locations' to list them.")
                 .arg(hostname));
        return std::nullopt;
    }
    return *found;
}

bool CommandRunner::isConnected() const { return model_.state().kind() == TunnelState::Kind::connected; }

void CommandRunner::printTunnel() {
    const TunnelState& state = model_.state();
    switch (state.kind()) {
    case TunnelState::Kind::disconnected:
        out_ << "Tunnel: Not protected\n";
        break;
    case TunnelState::Kind::connecting:
        out_ << "Tunnel: Connecting...\n";
        break;
    case TunnelState::Kind::connected:
        out_ << "Tunnel: Protected\n";
        break;
    case TunnelState::Kind::error:
        out_ << "Tunnel: Connection problem: " << state.message() << '\n';
        break;
    }
}

QByteArray CommandRunner::statusJson() const {
    const TunnelState& state = model_.state();
    const std::optional<ServerLocation>& chosen = model_.selectedLocation();
    const auto orNull = [](const auto& value) { return value ? QJsonValue(*value) : QJsonValue(); };
    const QJsonObject status{
        {QStringLiteral("signed_in"), model_.isSignedIn()},
        {QStringLiteral("tunnel"), tunnelStateName(state.kind())},
        {QStringLiteral("tunnel_error"),
         state.kind() == TunnelState::Kind::error ? QJsonValue(state.message()) : QJsonValue()},
        {QStringLiteral("location"), chosen ? chosen->hostname : QStringLiteral("auto")},
        {QStringLiteral("location_name"), model_.selectedLocationLabel()},
        {QStringLiteral("plan"), model_.isSignedIn() ? QJsonValue(model_.statusLine()) : QJsonValue()},
        {QStringLiteral("free_plan"), model_.isSignedIn() ? QJsonValue(model_.isFreePlan()) : QJsonValue()},
        {QStringLiteral("speed_mbps"), orNull(model_.speedMbps())},
        {QStringLiteral("bytes_used"), orNull(model_.bytesUsed())},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Compact) + '\n';
}

void CommandRunner::printStatus() {
    printTunnel();
    // No session time: it counts from when this process first saw the tunnel, which is always now.
    out_ << "Location: " << model_.selectedLocationLabel() << '\n';
    out_ << "Plan: " << model_.statusLine() << '\n';
    if (model_.usageUsedLabel()) {
        out_ << "Usage: " << *model_.usageUsedLabel() << '\n';
    }
}

void CommandRunner::fail(const QString& message) {
    out_.flush();
    err_ << message << '\n';
    err_.flush();
}

} // namespace korvel::cli
