#include "LocationList.h"

#include "ServerLoad.h"

#include <QHash>

#include <algorithm>

namespace korvel::model {
namespace {

using api::ServerLocation;

bool isSpaceOrTab(QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; }

// Lower-cased and composed, so a decomposed "Zu\u0308rich" still contains "zürich".
QString matchable(const QString& text) { return text.toLower().normalized(QString::NormalizationForm_C); }

} // namespace

LocationList::LocationList(const QLocale& locale) : countryNames_(locale), collator_(locale) {
    collator_.setCaseSensitivity(Qt::CaseInsensitive);
}

QString LocationList::query(const QString& search) {
    qsizetype begin = 0;
    qsizetype end = search.size();
    while (begin < end && isSpaceOrTab(search[begin])) {
        ++begin;
    }
    while (end > begin && isSpaceOrTab(search[end - 1])) {
        --end;
    }
    return matchable(search.mid(begin, end - begin));
}

QList<ServerLocation> LocationList::filtered(LocationTab tab, const QString& search,
                                             const QList<ServerLocation>& locations,
                                             const QSet<QString>& favoriteHostnames,
                                             const QStringList& recentHostnames) const {
    QHash<QString, QString> names;
    const auto countryName = [&](const QString& code) -> const QString& {
        auto found = names.find(code);
        if (found == names.end()) {
            found = names.insert(code, countryNames_.name(code));
        }
        return *found;
    };

    QList<ServerLocation> list;
    switch (tab) {
    case LocationTab::recommended: {
        struct Ranked {
            bool favorite;
            api::ServerLoad load;
            const ServerLocation* location;
        };
        QList<Ranked> ranked;
        for (const ServerLocation& location : locations) {
            ranked.append(
                {favoriteHostnames.contains(location.hostname), api::serverLoad(location.load), &location});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [&](const Ranked& a, const Ranked& b) {
            if (a.favorite != b.favorite) {
                return a.favorite;
            }
            if (a.load != b.load) {
                return a.load < b.load;
            }
            return collator_.compare(a.location->location, b.location->location) < 0;
        });
        for (const Ranked& entry : ranked) {
            list.append(*entry.location);
        }
        break;
    }
    case LocationTab::all:
        list = locations;
        std::stable_sort(list.begin(), list.end(), [&](const ServerLocation& a, const ServerLocation& b) {
            return collator_.compare(countryName(a.countryCode), countryName(b.countryCode)) < 0;
        });
        break;
    case LocationTab::recent: {
        // A hand-edited store may repeat a host name; a location is listed once.
        QSet<QString> listed;
        for (const QString& hostname : recentHostnames) {
            const auto found = std::find_if(locations.begin(), locations.end(),
                                            [&](const ServerLocation& l) { return l.hostname == hostname; });
            if (found != locations.end() && !listed.contains(hostname)) {
                listed.insert(hostname);
                list.append(*found);
            }
        }
        break;
    }
    }

    const QString wanted = query(search);
    if (wanted.isEmpty()) {
        return list;
    }
    QList<ServerLocation> matching;
    for (const ServerLocation& location : list) {
        if (matchable(location.location).contains(wanted) ||
            matchable(location.countryCode).contains(wanted) ||
            matchable(countryName(location.countryCode)).contains(wanted)) {
            matching.append(location);
        }
    }
    return matching;
}

} // namespace korvel::model
