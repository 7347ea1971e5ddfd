#pragma once

#include "CountryNames.h"
#include "ServerLocation.h"

#include <QAbstractListModel>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace korvel::ui {

// The locations a tab shows, one row each, with what a row draws: flag, country name, city, load and
// the chosen and favourite marks, and what it says to assistive technology and in its tooltip. One
// row's star may hold the keyboard instead of the row; that row then reads as its star.
class LocationListModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        FlagRole = Qt::UserRole + 1,
        SubtitleRole,
        LoadRole, // api::ServerLoad as int
        SelectedRole,
        FavoriteRole,
        StarFocusRole,
        StarTextRole, // "Add Berlin to favourites" or "Remove Berlin from favourites"
    };

    // The key that flips a row's favourite; rows tell of it in their description and tooltip.
    static constexpr Qt::Key kFavoriteKey = Qt::Key_F;

    // The names must outlive the model.
    explicit LocationListModel(const model::CountryNames& names, QObject* parent = nullptr);

    // The rows, in order, and the marks they carry.
    void show(QList<api::ServerLocation> rows, std::optional<api::ServerLocation> selected,
              QSet<QString> favoriteHostnames);
    void setSelected(std::optional<api::ServerLocation> selected);
    // The row whose star holds the keyboard, or -1 for none.
    void setStarFocus(int row);
    int starFocus() const { return starFocus_; }

    const api::ServerLocation& location(int row) const { return rows_.at(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const model::CountryNames& names_;
    QList<api::ServerLocation> rows_;
    std::optional<api::ServerLocation> selected_;
    QSet<QString> favoriteHostnames_;
    int starFocus_ = -1;
};

} // namespace korvel::ui
