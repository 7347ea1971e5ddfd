#include "SmartLocationRow.h"

#include "FocusRing.h"
#include "MaterialIcons.h"
#include "Palette.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace korvel::ui {
namespace {

constexpr int kVerticalMargin = 12;
constexpr int kHorizontalMargin = 10;
constexpr int kSpacing = 14;
constexpr QSize kTile{34, 26};

const QString kTitle = QStringLiteral("Smart Location");
const QString kSubtitle = QStringLiteral("Fastest available server");

} // namespace

SmartLocationRow::SmartLocationRow(QWidget* parent)
    : QAbstractButton(parent), titleFont_(font()), subtitleFont_(font()),
      // The chosen mark is as large as the desktop's ordinary text.
      checkFont_(materialIcons::font(QFontInfo(font()).pixelSize())) {
    titleFont_.setPixelSize(16);
    titleFont_.setWeight(QFont::DemiBold);
    subtitleFont_.setPixelSize(12);
    setText(kTitle);
    setAccessibleName(kTitle);
    setAccessibleDescription(kSubtitle);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SmartLocationRow::setSelected(bool selected) {
    selected_ = selected;
    setAccessibleName(selected ? kTitle + QStringLiteral(", selected") : kTitle);
    update();
}

QSize SmartLocationRow::sizeHint() const {
    const int text = QFontMetrics(titleFont_).height() + 1 + QFontMetrics(subtitleFont_).height();
    const int inner = std::max({kTile.height(), text, checkFont_.pixelSize()});
    return {kTile.width() + kSpacing + QFontMetrics(titleFont_).horizontalAdvance(kTitle) +
                2 * kHorizontalMargin,
            inner + 2 * kVerticalMargin + 1};
}

void SmartLocationRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRect inner =
        rect().adjusted(kHorizontalMargin, kVerticalMargin, -kHorizontalMargin, -(kVerticalMargin + 1));

    const QRect tile(QPoint(inner.left(), inner.top() + (inner.height() - kTile.height()) / 2), kTile);
    QPainterPath rounded;
    rounded.addRoundedRect(tile, 4, 4);
    painter.fillPath(rounded, palette::blue500);
    painter.setFont(materialIcons::font(14));
    painter.setPen(Qt::white);
    painter.drawText(tile, Qt::AlignCenter, QStringLiteral("bolt"));

    const QFontMetrics title(titleFont_);
    const QFontMetrics subtitle(subtitleFont_);
    const int textLeft = tile.right() + 1 + kSpacing;
    const int textTop = inner.top() + (inner.height() - (title.height() + 1 + subtitle.height())) / 2;
    const int textWidth = std::max(0, inner.right() - textLeft);
    painter.setFont(titleFont_);
    painter.setPen(palette::navy900);
    painter.drawText(QRect(textLeft, textTop, textWidth, title.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     kTitle);
    painter.setFont(subtitleFont_);
    painter.setPen(palette::gray400);
    painter.drawText(QRect(textLeft, textTop + title.height() + 1, textWidth, subtitle.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, kSubtitle);

    if (selected_) {
        const int side = checkFont_.pixelSize();
        painter.setFont(checkFont_);
        painter.setPen(palette::blue500);
        painter.drawText(
            QRect(inner.right() - side + 1, inner.top() + (inner.height() - side) / 2, side, side),
            Qt::AlignCenter, QStringLiteral("check_circle"));
    }
    painter.fillRect(QRect(0, height() - 1, width(), 1), palette().color(QPalette::Midlight));
    if (hasFocus()) {
        FocusRing::paint(painter, QRectF(rect().adjusted(0, 0, 0, -1)), 6, 1, palette::blue500);
    }
}

void SmartLocationRow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace korvel::ui
