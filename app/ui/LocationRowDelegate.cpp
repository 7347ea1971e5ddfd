#include "LocationRowDelegate.h"

#include "FocusRing.h"
#include "LoadIndicator.h"
#include "LocationListModel.h"
#include "MaterialIcons.h"
#include "Palette.h"
#include "Typography.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace korvel::ui {
namespace {

constexpr int kStarSide = 34;
constexpr int kButtonGap = 5;
constexpr int kVerticalMargin = 11;
constexpr int kLeftMargin = 8;
constexpr int kFlagWidth = 38;
constexpr int kSpacing = 14;

// The selected mark is as large as the desktop's ordinary text.
int defaultTextSize() { return QFontInfo(QApplication::font()).pixelSize(); }

QRect selectButton(const QRect& content) { return content.adjusted(0, 0, -(kStarSide + kButtonGap), 0); }

} // namespace

LocationRowDelegate::LocationRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), titleFont_(Typography::font(16, QFont::Medium)),
      subtitleFont_(Typography::font(12, QFont::Normal)), starFont_(materialIcons::font(17)),
      checkFont_(materialIcons::font(defaultTextSize())) {
    flagFont_.setFamilies({QStringLiteral("Noto Color Emoji")});
    flagFont_.setPixelSize(25);
    const int text = QFontMetrics(titleFont_).height() + 1 + QFontMetrics(subtitleFont_).height();
    const int inner = std::max(
        {QFontMetrics(flagFont_).height(), text, LoadIndicator::size().height(), checkFont_.pixelSize()});
    rowHeight_ = std::max(2 * kVerticalMargin + inner, kStarSide) + 1;
}

QRect LocationRowDelegate::content(const QRect& row) { return row.adjusted(0, 0, 0, -1); }

QRect LocationRowDelegate::starArea(const QRect& row) {
    const QRect area = content(row);
    return {area.right() - kStarSide + 1, area.top() + (area.height() - kStarSide) / 2, kStarSide, kStarSide};
}

QRect LocationRowDelegate::checkArea(const QRect& row) const {
    const QRect button = selectButton(content(row));
    const int side = checkFont_.pixelSize();
    return {button.right() - side + 1, button.top() + (button.height() - side) / 2, side, side};
}

QRect LocationRowDelegate::loadArea(const QRect& row, bool selected) const {
    const QRect button = selectButton(content(row));
    const QSize size = LoadIndicator::size();
    const int right = selected ? checkArea(row).left() - kSpacing : button.right() + 1;
    return {right - size.width(), button.top() + (button.height() - size.height()) / 2, size.width(),
            size.height()};
}

QSize LocationRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), rowHeight_};
}

void LocationRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QRect row = option.rect;
    const QRect area = content(row);
    const bool selected = index.data(LocationListModel::SelectedRole).toBool();
    const bool favorite = index.data(LocationListModel::FavoriteRole).toBool();
    const auto load = static_cast<api::ServerLoad>(index.data(LocationListModel::LoadRole).toInt());

    painter->save();
    painter->setRenderHint(QPainter::TextAntialiasing);
    if (selected) {
        QColor tint = palette::blue500;
        tint.setAlphaF(0.06f);
        painter->fillRect(area, tint);
    }
    painter->fillRect(QRect(row.left(), row.bottom(), row.width(), 1),
                      option.palette.color(QPalette::Midlight));

    const QRect inner = selectButton(area).adjusted(kLeftMargin, kVerticalMargin, 0, -kVerticalMargin);
    painter->setFont(flagFont_);
    painter->drawText(QRect(inner.left(), inner.top(), kFlagWidth, inner.height()), Qt::AlignCenter,
                      index.data(LocationListModel::FlagRole).toString());

    const QRect bars = loadArea(row, selected);
    const int textLeft = inner.left() + kFlagWidth + kSpacing;
    const int textWidth = std::max(0, bars.left() - kSpacing - textLeft);
    const QFontMetrics title(titleFont_);
    const QFontMetrics subtitle(subtitleFont_);
    const int textTop = inner.top() + (inner.height() - (title.height() + 1 + subtitle.height())) / 2;
    painter->setFont(titleFont_);
    painter->setPen(palette::navy900);
    painter->drawText(QRect(textLeft, textTop, textWidth, title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      title.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(subtitleFont_);
    painter->setPen(palette::gray400);
    painter->drawText(QRect(textLeft, textTop + title.height() + 1, textWidth, subtitle.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      subtitle.elidedText(index.data(LocationListModel::SubtitleRole).toString(),
                                          Qt::ElideRight, textWidth));

    LoadIndicator(load).paint(*painter, bars.topLeft());
    if (selected) {
        painter->setFont(checkFont_);
        painter->setPen(palette::blue500);
        painter->drawText(checkArea(row), Qt::AlignCenter, QStringLiteral("check_circle"));
    }
    painter->setFont(starFont_);
    painter->setPen(favorite ? palette::blue500 : palette::gray400);
    painter->drawText(starArea(row), Qt::AlignCenter,
                      favorite ? QStringLiteral("star") : QStringLiteral("star_border"));
    // The ring marks the part that Return and Space act on: the round star or the rest of the row.
    if (option.state & QStyle::State_HasFocus) {
        if (index.data(LocationListModel::StarFocusRole).toBool()) {
            FocusRing::paint(*painter, starArea(row), kStarSide / 2.0, 0, palette::blue500);
        } else {
            FocusRing::paint(*painter, selectButton(area), 6, 0, palette::blue500);
        }
    }
    painter->restore();
}

LocationRowDelegate::Part LocationRowDelegate::partAt(const QRect& row, QPoint point) const {
    if (starArea(row).contains(point)) {
        return Part::star;
    }
    return selectButton(content(row)).contains(point) ? Part::select : Part::none;
}

bool LocationRowDelegate::editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) {
        return false;
    }
    const Part part = partAt(option.rect, mouse->position().toPoint());
    if (event->type() == QEvent::MouseButtonPress) {
        pressedRow_ = index.row();
        pressedPart_ = part;
        return part != Part::none;
    }
    const bool clicked = pressedRow_ == index.row() && pressedPart_ == part;
    pressedRow_ = -1;
    pressedPart_ = Part::none;
    if (!clicked || part == Part::none) {
        return false;
    }
    // The receivers may rebuild the list: nothing here reads the index after this.
    if (part == Part::star) {
        emit favoriteToggleRequested(index.row());
    } else {
        emit selectRequested(index.row());
    }
    return true;
}

bool LocationRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid()) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    const QRect bars = loadArea(option.rect, index.data(LocationListModel::SelectedRole).toBool());
    const QRect star = starArea(option.rect);
    if (bars.contains(event->pos())) {
        const auto load = static_cast<api::ServerLoad>(index.data(LocationListModel::LoadRole).toInt());
        QToolTip::showText(event->globalPos(), LoadIndicator(load).toolTip(), view->viewport(), bars);
    } else if (star.contains(event->pos())) {
        QToolTip::showText(event->globalPos(), index.data(LocationListModel::StarTextRole).toString(),
                           view->viewport(), star);
    } else {
        // Elsewhere the row tells which key flips its star.
        QToolTip::showText(event->globalPos(), index.data(Qt::ToolTipRole).toString(), view->viewport(),
                           content(option.rect));
    }
    return true;
}

} // namespace korvel::ui
