#include "CommandLine.h"

#include <array>

namespace korvel::cli {
namespace {

using Kind = Command::Kind;

struct Subcommand {
    Kind kind;
    QStringView name;
    QStringView synopsis;
    // One line in the program's help.
    QStringView summary;
    QStringView details;
};

const std::array<Subcommand, 9> kSubcommands{{
    {Kind::login, u"login", u"login EMAIL", u"Sign in to your Korvel account",
     u"Signs in with EMAIL. The password is read from the terminal without echo or, when standard input\n"
     u"is not a terminal, from its first line. Prints the status afterwards; with auto-connect on, the\n"
     u"tunnel comes up as well. Fails when the sign-in cannot be stored in the keyring, since no later\n"
     u"command could use it.\n"},
    {Kind::logout, u"logout", u"logout", u"Take the tunnel down and sign out",
     u"Takes the tunnel down and signs out: the stored sign-in is deleted. Favorites, recent locations and\n"
     u"the settings stay. Works without a session too, for example to take down a tunnel left up.\n"},
    {Kind::status, u"status", u"status [--json]", u"Show the tunnel, location, plan and data used",
     u"Prints the tunnel state, the chosen location, the plan and the data used this month. --json prints\n"
     u"one JSON object instead: signed_in, tunnel (disconnected, connecting, connected or error),\n"
     u"tunnel_error, location (the host name, or auto), location_name, plan, free_plan, speed_mbps and\n"
     u"bytes_used (null when unknown).\n"},
    {Kind::locations, u"locations", u"locations [--tab recommended|all|recent] [--search TEXT] [--json]",
     u"List the locations",
     u"Lists the online locations as the locations screen does. recommended (the default): favorites\n"
     u"first, then lighter load, then name, below the automatic choice (\"auto\"); all: by country;\n"
     u"recent: most recently chosen first. --search keeps the locations whose city, country or country\n"
     u"code contains TEXT. In the table * marks the chosen location and a filled star a favorite.\n"
     u"--json prints a JSON array of the listed locations instead, each with hostname, location,\n"
     u"country_code, country, flag, load, favorite and selected.\n"},
    {Kind::select, u"select", u"select HOSTNAME|auto", u"Choose the location for the next connection",
     u"Chooses the location with host name HOSTNAME, or auto to let the server pick the fastest one. An\n"
     u"open tunnel stays where it is until the next connect.\n"},
    {Kind::favorite, u"favorite", u"favorite HOSTNAME", u"Add a location to the favorites, or remove it",
     u"Marks the location with host name HOSTNAME as a favorite, or removes the mark when it has one.\n"},
    {Kind::connect, u"connect", u"connect [HOSTNAME|auto]", u"Bring the tunnel up",
     u"Brings the tunnel up to the chosen location. With HOSTNAME or auto, chooses that first; while the\n"
     u"tunnel is up, takes it down and brings it up again there. Without one, a tunnel that is\n"
     u"already up stays as it is.\n"},
    {Kind::disconnect, u"disconnect", u"disconnect", u"Take the tunnel down",
     u"Takes the tunnel down. Works without a session too.\n"},
    {Kind::settings, u"settings", u"settings [--launch-at-login on|off] [--auto-connect on|off]",
     u"Show or change the settings",
     u"Changes the settings given, then prints both. --launch-at-login starts Korvel when you log in;\n"
     u"--auto-connect brings the tunnel up after a sign-in and when Korvel starts with a stored one\n"
     u"(not when another korvel command restores it).\n"},
}};

const Subcommand* find(QStringView name) {
    for (const Subcommand& subcommand : kSubcommands) {
        if (subcommand.name == name) {
            return &subcommand;
        }
    }
    return nullptr;
}

const Subcommand& find(Kind kind) {
    for (const Subcommand& subcommand : kSubcommands) {
        if (subcommand.kind == kind) {
            return subcommand;
        }
    }
    return kSubcommands.front();
}

bool isHelp(const QString& argument) {
    return argument == QStringLiteral("--help") || argument == QStringLiteral("-h");
}

std::optional<model::LocationTab> tabNamed(const QString& name) {
    for (const model::LocationTab tab : model::allLocationTabs) {
        if (name.compare(model::locationTabTitle(tab), Qt::CaseInsensitive) == 0) {
            return tab;
        }
    }
    return std::nullopt;
}

std::optional<bool> onOff(const QString& value) {
    if (value == QStringLiteral("on")) {
        return true;
    }
    if (value == QStringLiteral("off")) {
        return false;
    }
    return std::nullopt;
}

} // namespace

std::variant<Command, CommandLine::Error> CommandLine::parse(const QStringList& arguments) {
    if (arguments.isEmpty()) {
        return Error{QStringLiteral("No command given."), std::nullopt};
    }
    const QString& first = arguments.first();
    if (first == QStringLiteral("--version")) {
        if (arguments.size() > 1) {
            return Error{QStringLiteral("--version takes no arguments."), std::nullopt};
        }
        Command version;
        version.kind = Kind::version;
        return version;
    }
    if (isHelp(first) || first == QStringLiteral("help")) {
        Command help;
        if (arguments.size() > 2) {
            return Error{QStringLiteral("help takes at most one command."), std::nullopt};
        }
        if (arguments.size() == 2) {
            const Subcommand* topic = find(arguments[1]);
            if (!topic) {
                return Error{QStringLiteral("Unknown command \"%1\".").arg(arguments[1]), std::nullopt};
            }
            help.topic = topic->kind;
        }
        return help;
    }
    const Subcommand* subcommand = find(first);
    if (!subcommand) {
        return Error{QStringLiteral("Unknown command \"%1\".").arg(first), std::nullopt};
    }
    const Kind kind = subcommand->kind;
    const auto error = [kind](QString message) { return Error{std::move(message), kind}; };
    const QStringList rest = arguments.mid(1);
    for (const QString& argument : rest) {
        if (argument == QStringLiteral("--")) {
            break;
        }
        if (isHelp(argument)) {
            Command help;
            help.topic = kind;
            return help;
        }
    }

    Command command;
    command.kind = kind;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QString& argument = rest[i];
        if (optionsEnded || argument == QStringLiteral("-") || !argument.startsWith(u'-')) {
            positional.append(argument);
            continue;
        }
        if (argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = argument;
        std::optional<QString> value;
        if (const qsizetype equals = argument.indexOf(u'='); argument.startsWith(u"--") && equals > 2) {
            name = argument.left(equals);
            value = argument.mid(equals + 1);
        }
        const bool isFlag =
            (kind == Kind::locations || kind == Kind::status) && name == QStringLiteral("--json");
        const bool takesValue = (kind == Kind::locations &&
                                 (name == QStringLiteral("--tab") || name == QStringLiteral("--search"))) ||
                                (kind == Kind::settings && (name == QStringLiteral("--launch-at-login") ||
                                                            name == QStringLiteral("--auto-connect")));
        if (!isFlag && !takesValue) {
            return error(QStringLiteral("Unknown option \"%1\".").arg(name));
        }
        if (isFlag) {
            if (value) {
                return error(QStringLiteral("%1 takes no value.").arg(name));
            }
            command.json = true;
            continue;
        }
        if (!value) {
            if (i + 1 == rest.size()) {
                return error(QStringLiteral("%1 needs a value.").arg(name));
            }
            value = rest[++i];
        }
        if (name == QStringLiteral("--search")) {
            command.search = *value;
        } else if (name == QStringLiteral("--tab")) {
            const std::optional<model::LocationTab> tab = tabNamed(*value);
            if (!tab) {
                return error(QStringLiteral("--tab takes recommended, all or recent."));
            }
            command.tab = *tab;
        } else {
            const std::optional<bool> enabled = onOff(*value);
            if (!enabled) {
                return error(QStringLiteral("%1 takes on or off.").arg(name));
            }
            (name == QStringLiteral("--auto-connect") ? command.autoConnect : command.launchAtLogin) =
                enabled;
        }
    }

    const bool namesOne = kind == Kind::login || kind == Kind::select || kind == Kind::favorite;
    const qsizetype allowed = namesOne || kind == Kind::connect ? 1 : 0;
    if (positional.size() > allowed) {
        return error(QStringLiteral("Unexpected argument \"%1\".").arg(positional[allowed]));
    }
    if (namesOne && positional.isEmpty()) {
        return error(kind == Kind::login ? QStringLiteral("Missing EMAIL.")
                                         : QStringLiteral("Missing HOSTNAME."));
    }
    if (!positional.isEmpty()) {
        if (kind == Kind::login) {
            command.email = positional.first();
        } else if (kind != Kind::favorite && positional.first() == QStringLiteral("auto")) {
            command.automatic = true;
        } else {
            command.hostname = positional.first();
        }
    }
    return command;
}

QString CommandLine::help(std::optional<Command::Kind> topic) {
    if (topic) {
        const Subcommand& subcommand = find(*topic);
        return QStringLiteral("Usage: korvel %1\n\n%2").arg(subcommand.synopsis, subcommand.details);
    }
    QString text = QStringLiteral("Usage: korvel COMMAND [ARGUMENTS]\n\nCommands:\n");
    for (const Subcommand& subcommand : kSubcommands) {
        text += QStringLiteral("  %1  %2\n")
                    .arg(subcommand.name.toString().leftJustified(12), subcommand.summary);
    }
    text += QStringLiteral(
        "\nRun 'korvel COMMAND --help' for the arguments of one command, 'korvel --version' for the\n"
        "version, and 'korvel' alone for the window.\n\n"
        "Each command first restores the stored sign-in, as Korvel does when it starts. Every command but\n"
        "disconnect, logout and settings needs a session; sign in with 'korvel login EMAIL'.\n\n"
        "Exit status: 0 on success; 1 when the command failed, with the reason on standard error; 2 when\n"
        "the command line is wrong.\n");
    return text;
}

QString CommandLine::name(Command::Kind kind) { return find(kind).name.toString(); }

} // namespace korvel::cli
