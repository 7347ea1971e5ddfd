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

const QString& LocationList::matchableText(const QString& text) const {
    auto found = matchable_.constFind(text);
    if (found == matchable_.constEnd()) {
        found = matchable_.insert(text, matchable(text));
    }
    return *found;
}

void LocationList::rankInCollationOrder(const QStringList& texts) const {
    bool added = false;
    for (const QString& text : texts) {
        if (!ranks_.contains(text)) {
            ranks_.insert(text, 0);
            added = true;
        }
    }
    if (!added) {
        return;
    }
    QStringList known = ranks_.keys();
    std::sort(known.begin(), known.end(),
              [&](const QString& a, const QString& b) { return collator_.compare(a, b) < 0; });
    // Texts the collator holds equal share a rank, so a stable sort keeps their servers' order.
    int rank = 0;
    for (qsizetype i = 0; i < known.size(); ++i) {
        if (i > 0 && collator_.compare(known[i - 1], known[i]) != 0) {
            ++rank;
        }
        ranks_[known[i]] = rank;
    }
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
    if (tab == LocationTab::recent) {
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
    } else {
        list = locations;
    }

    // Searching before sorting gives the same rows in the same order (the sorts are stable) and
    // sorts far fewer of them while someone types.
    const QString wanted = query(search);
    if (!wanted.isEmpty()) {
        list.removeIf([&](const ServerLocation& location) {
            return !matchableText(location.location).contains(wanted) &&
                   !matchableText(location.countryCode).contains(wanted) &&
                   !matchableText(countryName(location.countryCode)).contains(wanted);
        });
    }

    switch (tab) {
    case LocationTab::recommended: {
        struct Ranked {
            bool favorite;
            api::ServerLoad load;
            int name;
            const ServerLocation* location;
        };
        QStringList cities;
        cities.reserve(list.size());
        for (const ServerLocation& location : list) {
            cities.append(location.location);
        }
        rankInCollationOrder(cities);
        QList<Ranked> ranked;
        ranked.reserve(list.size());
        for (const ServerLocation& location : list) {
            ranked.append({favoriteHostnames.contains(location.hostname), api::serverLoad(location.load),
                           ranks_.value(location.location), &location});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            if (a.favorite != b.favorite) {
                return a.favorite;
            }
            if (a.load != b.load) {
                return a.load < b.load;
            }
            return a.name < b.name;
        });
        QList<ServerLocation> sorted;
        sorted.reserve(ranked.size());
        for (const Ranked& entry : ranked) {
            sorted.append(*entry.location);
        }
        return sorted;
    }
    case LocationTab::all: {
        QStringList countries;
        for (const ServerLocation& location : list) {
            countries.append(countryName(location.countryCode));
        }
        rankInCollationOrder(countries);
        QList<std::pair<int, const ServerLocation*>> keyed;
        keyed.reserve(list.size());
        for (const ServerLocation& location : list) {
            keyed.append({ranks_.value(countryName(location.countryCode)), &location});
        }
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        QList<ServerLocation> sorted;
        sorted.reserve(keyed.size());
        for (const auto& entry : keyed) {
            sorted.append(*entry.second);
        }
        return sorted;
    }
    case LocationTab::recent:
        return list;
    }
    return list;
}

} // namespace korvel::model
