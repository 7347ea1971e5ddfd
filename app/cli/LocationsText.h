#pragma once

#include "LocationList.h"
#include "LocationTab.h"

#include <QByteArray>
#include <QString>

namespace korvel::model {
class AppModel;
}

namespace korvel::cli {

// The location list of one tab and search as the command line prints it, computed by the same code as
// the locations screen: a table for people, or JSON for programs.
class LocationsText {
public:
    explicit LocationsText(const model::LocationList& lists) : lists_(lists) {}

    // One row per location: chosen mark, favorite star, flag, country, city, host name and load. The
    // recommended tab without a search starts with the automatic choice; an empty list prints the
    // screen's notice instead.
    QString table(const model::AppModel& model, model::LocationTab tab, const QString& search) const;

    // An array of objects with hostname, location, country_code, country, flag, load (low, medium or
    // high), favorite and selected; one line.
    QByteArray json(const model::AppModel& model, model::LocationTab tab, const QString& search) const;

private:
    QList<api::ServerLocation> listed(const model::AppModel& model, model::LocationTab tab,
                                      const QString& search) const;

    const model::LocationList& lists_;
};

} // namespace korvel::cli
