#pragma once

#include "LocationTab.h"

#include <QString>

#include <optional>

namespace korvel::cli {

// One invocation of the command line, as parsed from its arguments.
struct Command {
    enum class Kind {
        help,
        version,
        login,
        logout,
        status,
        locations,
        select,
        favorite,
        connect,
        disconnect,
        settings
    };

    Kind kind = Kind::help;
    // help: the subcommand asked about; none for the whole program.
    std::optional<Kind> topic;
    // login: the e-mail address as typed.
    QString email;
    // select, favorite, connect: the location named. For select and connect, `automatic` names the
    // automatic choice instead; connect with neither keeps the current choice.
    std::optional<QString> hostname;
    bool automatic = false;
    // locations
    model::LocationTab tab = model::LocationTab::recommended;
    QString search;
    // locations, status
    bool json = false;
    // settings: the values to store; none leaves a preference as it is.
    std::optional<bool> launchAtLogin;
    std::optional<bool> autoConnect;
};

} // namespace korvel::cli
