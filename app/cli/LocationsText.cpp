#include "LocationsText.h"

#include "AppModel.h"
#include "CountryFlag.h"
#include "ServerLoad.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>

namespace korvel::cli {
namespace {

using api::ServerLoad;
using api::ServerLocation;

constexpr qsizetype kColumns = 7;
using Row = std::array<QString, kColumns>;

QString loadName(ServerLoad load) {
    switch (load) {
    case ServerLoad::low:
        return QStringLiteral("low");
    case ServerLoad::medium:
        return QStringLiteral("medium");
    case ServerLoad::high:
        return QStringLiteral("high");
    }
    return {};
}

// Terminal cells, near enough: one per code point, so a flag's two regional indicators take the two
// cells a flag is drawn in.
qsizetype width(const QString& text) { return text.toUcs4().size(); }

bool isChosen(const model::AppModel& model, const ServerLocation& location) {
    return model.selectedLocation() && *model.selectedLocation() == location;
}

} // namespace

QList<ServerLocation> LocationsText::listed(const model::AppModel& model, model::LocationTab tab,
                                            const QString& search) const {
    return lists_.filtered(tab, search, model.locations(), model.favoriteHostnames(),
                           model.recentHostnames());
}

QString LocationsText::table(const model::AppModel& model, model::LocationTab tab,
                             const QString& search) const {
    QList<Row> rows;
    if (tab == model::LocationTab::recommended && search.isEmpty()) {
        rows.append(Row{model.selectedLocation() ? QString() : QStringLiteral("*"), QString(), QString(),
                        QStringLiteral("Smart Location"), QStringLiteral("Fastest available server"),
                        QStringLiteral("auto"), QString()});
    }
    QString notice;
    const QList<ServerLocation> locations = listed(model, tab, search);
    if (model.serversLoaded() && model.locations().isEmpty()) {
        notice = QStringLiteral("No VPN locations are available right now.\n"
                                "Smart Location will reappear when a server comes online.\n");
    } else if (locations.isEmpty()) {
        notice = tab == model::LocationTab::recent && search.isEmpty()
                     ? QStringLiteral("No recent locations yet\n")
                     : QStringLiteral("No locations match \"%1\"\n").arg(search);
    }
    if (notice.isEmpty()) {
        for (const ServerLocation& location : locations) {
            const ServerLoad load = api::serverLoad(location.load);
            QString loadText = loadName(load) + QStringLiteral(" load");
            loadText[0] = loadText[0].toUpper();
            rows.append(Row{isChosen(model, location) ? QStringLiteral("*") : QString(),
                            model.favoriteHostnames().contains(location.hostname) ? QStringLiteral("★")
                                                                                  : QStringLiteral("☆"),
                            model::countryFlag(location.countryCode),
                            lists_.countryNames().name(location.countryCode), location.location,
                            location.hostname, loadText});
        }
    }

    // The chosen mark keeps its column when nothing listed is chosen, so every tab lines up alike.
    std::array<qsizetype, kColumns> widths{1};
    for (const Row& row : rows) {
        for (qsizetype column = 0; column < kColumns; ++column) {
            widths[column] = std::max(widths[column], width(row[column]));
        }
    }
    QString text;
    for (const Row& row : rows) {
        QString line;
        for (qsizetype column = 0; column < kColumns; ++column) {
            if (widths[column] == 0) {
                continue;
            }
            // The marks and the flag are single glyphs that sit close together.
            const qsizetype gap = column < 3 ? 1 : 2;
            line += row[column] + QString(widths[column] - width(row[column]) + gap, u' ');
        }
        while (line.endsWith(u' ')) {
            line.chop(1);
        }
        text += line + u'\n';
    }
    return text + notice;
}

QByteArray LocationsText::json(const model::AppModel& model, model::LocationTab tab,
                               const QString& search) const {
    QJsonArray array;
    for (const ServerLocation& location : listed(model, tab, search)) {
        array.append(QJsonObject{
            {QStringLiteral("hostname"), location.hostname},
            {QStringLiteral("location"), location.location},
            {QStringLiteral("country_code"), location.countryCode},
            {QStringLiteral("country"), lists_.countryNames().name(location.countryCode)},
            {QStringLiteral("flag"), model::countryFlag(location.countryCode)},
            {QStringLiteral("load"), loadName(api::serverLoad(location.load))},
            {QStringLiteral("favorite"), model.favoriteHostnames().contains(location.hostname)},
            {QStringLiteral("selected"), isChosen(model, location)},
        });
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace korvel::cli
