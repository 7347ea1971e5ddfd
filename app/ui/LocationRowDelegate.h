#pragma once

#include <QFont>
#include <QStyledItemDelegate>

namespace korvel::ui {

// Draws a location row of LocationListModel: flag, country name over city, load bars, the chosen mark
// and the star, over a tinted background when chosen, with a divider below, and a focus ring around the
// part the keyboard is on. A click on the star asks for the favourite to flip; a click anywhere else in
// the row asks for the location to be chosen. Tooltips name the load, the star's action, or its key.
class LocationRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit LocationRowDelegate(QObject* parent = nullptr);

    // Every row is as high as this, divider included.
    int rowHeight() const { return rowHeight_; }
    // Where, in a row drawn in `row`, the star button and the load bars sit.
    static QRect starArea(const QRect& row);
    QRect loadArea(const QRect& row, bool selected) const;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

signals:
    void selectRequested(int row);
    void favoriteToggleRequested(int row);

private:
    enum class Part { none, select, star };

    Part partAt(const QRect& row, QPoint point) const;
    // The row without its divider line.
    static QRect content(const QRect& row);
    QRect checkArea(const QRect& row) const;

    QFont flagFont_;
    QFont titleFont_;
    QFont subtitleFont_;
    QFont starFont_;
    QFont checkFont_;
    int rowHeight_;
    // A click acts only when pressed and released on the same part of the same row.
    int pressedRow_ = -1;
    Part pressedPart_ = Part::none;
};

} // namespace korvel::ui
