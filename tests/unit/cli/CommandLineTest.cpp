#include "CommandLine.h"

#include <gtest/gtest.h>

#include <variant>

using korvel::cli::Command;
using korvel::cli::CommandLine;

namespace {

// Every field a parse can set, or the usage error, in one comparable line.
QString outcome(const QStringList& arguments) {
    const auto parsed = CommandLine::parse(arguments);
    if (const auto* error = std::get_if<CommandLine::Error>(&parsed)) {
        return QStringLiteral("error(%1): %2")
            .arg(error->kind ? CommandLine::name(*error->kind) : QStringLiteral("-"), error->message);
    }
    const Command& c = std::get<Command>(parsed);
    if (c.kind == Command::Kind::help) {
        return QStringLiteral("help %1").arg(c.topic ? CommandLine::name(*c.topic) : QStringLiteral("-"));
    }
    if (c.kind == Command::Kind::version) {
        return QStringLiteral("version");
    }
    const auto flag = [](std::optional<bool> value) {
        return value ? (*value ? QStringLiteral("on") : QStringLiteral("off")) : QStringLiteral("-");
    };
    return QStringLiteral("%1 email=%2 host=%3 auto=%4 tab=%5 search=[%6] json=%7 login=%8 connect=%9")
        .arg(CommandLine::name(c.kind), c.email, c.hostname.value_or(QStringLiteral("-")))
        .arg(c.automatic)
        .arg(static_cast<int>(c.tab))
        .arg(c.search)
        .arg(c.json)
        .arg(flag(c.launchAtLogin), flag(c.autoConnect));
}

struct ParseCase {
    QStringList arguments;
    QString outcome;
};

TEST(CommandLine, ParsesSubcommandsAndRejectsWrongUsage) {
    const ParseCase cases[] = {
        {{"locations", "--tab=all", "--search", " ber ", "--json"},
         "locations email= host=- auto=0 tab=1 search=[ ber ] json=1 login=- connect=-"},
        {{"locations", "--tab", "Recent", "--search=-x"},
         "locations email= host=- auto=0 tab=2 search=[-x] json=0 login=- connect=-"},
        {{"select", "auto"}, "select email= host=- auto=1 tab=0 search=[] json=0 login=- connect=-"},
        {{"favorite", "auto"}, "favorite email= host=auto auto=0 tab=0 search=[] json=0 login=- connect=-"},
        {{"connect"}, "connect email= host=- auto=0 tab=0 search=[] json=0 login=- connect=-"},
        {{"connect", "de-fra-1.korvel.example"},
         "connect email= host=de-fra-1.korvel.example auto=0 tab=0 search=[] json=0 login=- connect=-"},
        {{"login", "--", "-me@korvel.example"},
         "login email=-me@korvel.example host=- auto=0 tab=0 search=[] json=0 login=- connect=-"},
        {{"settings", "--auto-connect", "off"},
         "settings email= host=- auto=0 tab=0 search=[] json=0 login=- connect=off"},
        {{"--help"}, "help -"},
        {{"help", "connect"}, "help connect"},
        {{"status", "--bogus", "-h"}, "help status"},
        {{"login", "--", "--help"},
         "login email=--help host=- auto=0 tab=0 search=[] json=0 login=- connect=-"},
        {{"select"}, "error(select): Missing HOSTNAME."},
        {{"login", "a@korvel.example", "b"}, "error(login): Unexpected argument \"b\"."},
        {{"status", "--json"}, "status email= host=- auto=0 tab=0 search=[] json=1 login=- connect=-"},
        {{"--version"}, "version"},
        {{"--version", "--help"}, "error(-): --version takes no arguments."},
        {{"settings", "--json"}, "error(settings): Unknown option \"--json\"."},
        {{"locations", "--tab"}, "error(locations): --tab needs a value."},
        {{"locations", "--tab", "favorites"}, "error(locations): --tab takes recommended, all or recent."},
        {{"locations", "--json=yes"}, "error(locations): --json takes no value."},
        {{"settings", "--launch-at-login", "yes"}, "error(settings): --launch-at-login takes on or off."},
        {{"frob"}, "error(-): Unknown command \"frob\"."},
        {{"help", "frob"}, "error(-): Unknown command \"frob\"."},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(outcome(c.arguments), c.outcome) << c.arguments.join(u' ').toStdString();
    }
}

} // namespace
