#pragma once

#include "Command.h"
#include "LocationList.h"

#include "ServerLocation.h"

#include <QCoroTask>
#include <QString>
#include <QTextStream>

#include <optional>

namespace korvel::model {
class AppModel;
}

namespace korvel::cli {

// Runs one subcommand over the application model, as the window would drive it, and reports in plain
// text: results on `out`, failures on `err` with exit code 1.
class CommandRunner {
public:
    CommandRunner(model::AppModel& model, QTextStream& out, QTextStream& err);

    // Waits for the model's session restore to end, then runs the command. `password` is the one read
    // for a sign-in. Gives the exit code.
    QCoro::Task<int> run(Command command, QString password);

private:
    QCoro::Task<int> login(QString email, QString password);
    QCoro::Task<int> logout();
    int status(bool json);
    int locations(const Command& command);
    int select(const Command& command);
    int favorite(const QString& hostname);
    QCoro::Task<int> connect(Command command);
    QCoro::Task<int> disconnect();
    // Tells why the tunnel stayed up when it was to go down; reason may be empty.
    void failStillUp(const QString& reason);
    int settings(const Command& command);

    // False, having said why and how to sign in, when no session could be restored.
    bool hasSession();
    void explainNoSession();
    // The online location with that host name, or none having said why.
    std::optional<api::ServerLocation> location(const QString& hostname);
    bool isConnected() const;
    void printTunnel();
    void printStatus();
    // One line of JSON: signed_in, tunnel, tunnel_error, location, location_name, plan, free_plan,
    // speed_mbps, bytes_used.
    QByteArray statusJson() const;
    void fail(const QString& message);

    model::AppModel& model_;
    model::LocationList lists_;
    QTextStream& out_;
    QTextStream& err_;
};

} // namespace korvel::cli
