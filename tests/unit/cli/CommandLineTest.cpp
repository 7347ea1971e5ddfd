#include "CommandLine.h"

#include <gtest/gtest.h>

#include <variant>

using korvel::cli::Command;
using korvel::cli::CommandLine;
using namespace Qt::StringLiterals;

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
    // The kind, then only the fields that differ from their defaults.
    const auto flag = [](const char* name, std::optional<bool> on) {
        return on ? QString::fromUtf8(name) + (*on ? u"=on"_s : u"=off"_s) : QString();
    };
    QStringList fields{CommandLine::name(c.kind),
                       c.email.isEmpty() ? QString() : u"email="_s + c.email,
                       c.hostname ? u"host="_s + *c.hostname : QString(),
                       c.automatic ? u"auto"_s : QString(),
                       c.tab != korvel::model::LocationTab::recommended
                           ? u"tab=%1"_s.arg(static_cast<int>(c.tab))
                           : QString(),
                       c.search.isEmpty() ? QString() : u"search=[%1]"_s.arg(c.search),
                       c.json ? u"json"_s : QString(),
                       flag("login", c.launchAtLogin),
                       flag("connect", c.autoConnect)};
    fields.removeAll(QString());
    return fields.join(u' ');
}

struct ParseCase {
    QStringList arguments;
    QString outcome;
};

TEST(CommandLine, ParsesSubcommandsAndRejectsWrongUsage) {
    const ParseCase cases[] = {
        {{"locations", "--tab=all", "--search", " ber ", "--json"}, "locations tab=1 search=[ ber ] json"},
        {{"locations", "--tab", "Recent", "--search=-x"}, "locations tab=2 search=[-x]"},
        {{"select", "auto"}, "select auto"},
        {{"favorite", "auto"}, "favorite host=auto"},
        {{"connect"}, "connect"},
        {{"connect", "de-fra-1.korvel.example"}, "connect host=de-fra-1.korvel.example"},
        {{"login", "--", "-me@korvel.example"}, "login email=-me@korvel.example"},
        {{"settings", "--auto-connect", "off"}, "settings connect=off"},
        {{"--help"}, "help -"},
        {{"help", "connect"}, "help connect"},
        {{"status", "--bogus", "-h"}, "help status"},
        {{"login", "--", "--help"}, "login email=--help"},
        {{"select"}, "error(select): Missing HOSTNAME."},
        {{"login", "a@korvel.example", "b"}, "error(login): Unexpected argument \"b\"."},
        {{"status", "--json"}, "status json"},
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
