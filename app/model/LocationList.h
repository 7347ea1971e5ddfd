#pragma once

#include "CountryNames.h"
#include "LocationTab.h"

#include "ServerLocation.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QSet>
#include <QString>
#include <QStringList>

namespace korvel::model {

// Decides which locations a tab of the location list shows for a search, and in which order. The
// locations screen and the command line share it so both list the same.
class LocationList {
public:
    // Country names and the comparison of names follow the locale.
    explicit LocationList(const QLocale& locale = QLocale());

    const CountryNames& countryNames() const { return countryNames_; }

    // Recommended: favourites first, then lighter load, then location name. All: by country name
    // only. Recent: in the order of the recent host names, skipping those no longer listed. The
    // search keeps the locations whose name, country code or country name contains the query.
    QList<api::ServerLocation> filtered(LocationTab tab, const QString& search,
                                        const QList<api::ServerLocation>& locations,
                                        const QSet<QString>& favoriteHostnames,
                                        const QStringList& recentHostnames) const;

    // The search as it is matched: spaces and tabs around it removed, lower-cased.
    static QString query(const QString& search);

private:
    // The same locations come back on every keystroke of a search, so each text is lower-cased and
    // composed once, and ranked in collation order once: sorting then compares integers.
    const QString& matchableText(const QString& text) const;
    void rankInCollationOrder(const QStringList& texts) const;

    CountryNames countryNames_;
    QCollator collator_;
    mutable QHash<QString, QString> matchable_;
    mutable QHash<QString, int> ranks_;
};

} // namespace korvel::model
