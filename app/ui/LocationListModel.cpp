#include "LocationListModel.h"

#include "CountryFlag.h"
#include "LoadIndicator.h"
#include "ServerLoad.h"

#include <QKeySequence>

namespace korvel::ui {

LocationListModel::LocationListModel(const model::CountryNames& names, QObject* parent)
    : QAbstractListModel(parent), names_(names) {}

void LocationListModel::show(QList<api::ServerLocation> rows, std::optional<api::ServerLocation> selected,
                             QSet<QString> favoriteHostnames) {
    beginResetModel();
    starFocus_ = -1;
    rows_ = std::move(rows);
    selected_ = std::move(selected);
    favoriteHostnames_ = std::move(favoriteHostnames);
    endResetModel();
}

void LocationListModel::setSelected(std::optional<api::ServerLocation> selected) {
    selected_ = std::move(selected);
    if (!rows_.isEmpty()) {
        emit dataChanged(index(0), index(static_cast<int>(rows_.size()) - 1), {SelectedRole});
    }
}

void LocationListModel::setStarFocus(int row) {
    const int before = starFocus_;
    starFocus_ = row;
    for (const int changed : {before, row}) {
        if (changed >= 0 && changed < rows_.size()) {
            emit dataChanged(index(changed), index(changed));
        }
    }
}

int LocationListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant LocationListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) {
        return {};
    }
    const api::ServerLocation& location = rows_.at(index.row());
    const bool favorite = favoriteHostnames_.contains(location.hostname);
    const bool selected = selected_ && *selected_ == location;
    switch (role) {
    case Qt::DisplayRole:
        return names_.name(location.countryCode);
    case Qt::AccessibleTextRole: {
        if (index.row() == starFocus_) {
            return data(index, StarTextRole);
        }
        QStringList parts{names_.name(location.countryCode), location.location,
                          LoadIndicator(api::serverLoad(location.load)).toolTip().toLower()};
        if (favorite) {
            parts << QStringLiteral("favourite");
        }
        if (selected) {
            parts << QStringLiteral("selected");
        }
        return parts.join(QStringLiteral(", "));
    }
    case Qt::AccessibleDescriptionRole:
    case Qt::ToolTipRole:
        return (favorite ? QStringLiteral("Press %1 to remove %2 from favourites")
                         : QStringLiteral("Press %1 to add %2 to favourites"))
            .arg(QKeySequence(kFavoriteKey).toString(QKeySequence::NativeText), location.location);
    case StarTextRole:
        return favorite ? QStringLiteral("Remove %1 from favourites").arg(location.location)
                        : QStringLiteral("Add %1 to favourites").arg(location.location);
    case StarFocusRole:
        return index.row() == starFocus_;
    case FlagRole:
        return model::countryFlag(location.countryCode);
    case SubtitleRole:
        return location.location;
    case LoadRole:
        return static_cast<int>(api::serverLoad(location.load));
    case SelectedRole:
        return selected;
    case FavoriteRole:
        return favorite;
    default:
        return {};
    }
}

} // namespace korvel::ui
