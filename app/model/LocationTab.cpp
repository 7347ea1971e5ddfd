#include "LocationTab.h"

namespace korvel::model {

QString locationTabTitle(LocationTab tab) {
    switch (tab) {
    case LocationTab::recommended:
        return QStringLiteral("Recommended");
    case LocationTab::all:
        return QStringLiteral("All");
    case LocationTab::recent:
        return QStringLiteral("Recent");
    }
    return {};
}

} // namespace korvel::model
