#pragma once

#include "Command.h"

#include <QString>
#include <QStringList>

#include <variant>

namespace korvel::cli {

// The subcommands, their arguments and their help texts.
class CommandLine {
public:
    // A usage error: the message says what is wrong, for the given subcommand when there is one.
    struct Error {
        QString message;
        std::optional<Command::Kind> kind;
    };

    // `arguments` without the program name.
    static std::variant<Command, Error> parse(const QStringList& arguments);

    // The help of the whole program, or of one subcommand.
    static QString help(std::optional<Command::Kind> topic);
    static QString name(Command::Kind kind);
};

} // namespace korvel::cli
