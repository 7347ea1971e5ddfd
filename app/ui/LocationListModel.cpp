#include "LocationListModel.h"

#include "CountryFlag.h"
#include "ServerLoad.h"

namespace korvel::ui {

LocationListModel::LocationListModel(const model::CountryNames& names, QObject* parent)
    : QAbstractListModel(parent), names_(names) {}

void LocationListModel::show(QList<api::ServerLocation> rows, std::optional<api::ServerLocation> selected,
                             QSet<QString> favoriteHostnames) {
    beginResetModel();
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

int LocationListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant LocationListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) {
        return {};
    }
    const api::ServerLocation& location = rows_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return names_.name(location.countryCode);
    case Qt::AccessibleTextRole:
        return names_.name(location.countryCode) + QStringLiteral(", ") + location.location;
    case FlagRole:
        return model::countryFlag(location.countryCode);
    case SubtitleRole:
        return location.location;
    case LoadRole:
        return static_cast<int>(api::serverLoad(location.load));
    case SelectedRole:
        return selected_ && *selected_ == location;
    case FavoriteRole:
        return favoriteHostnames_.contains(location.hostname);
    default:
        return {};
    }
}

} // namespace korvel::ui
