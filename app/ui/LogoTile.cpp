#include "LogoTile.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>

namespace korvel::ui {
namespace {

// Strokes of the figure: square caps, mitred joins with limit 10, no dash.
QPen stroke(const QColor& colour, qreal width) {
    QPen pen(colour, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

} // namespace

LogoTile::LogoTile(int size, QWidget* parent) : QWidget(parent) { setFixedSize(size, size); }

void LogoTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, size());
}

QIcon LogoTile::icon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(pixmap(side));
    }
    return icon;
}

QPixmap LogoTile::pixmap(int side, const QColor& shield, Mark mark) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, pixmap.size(), shield, mark);
    return pixmap;
}

void LogoTile::paint(QPainter& painter, QSize frame, const QColor& shield, Mark mark) {
    painter.setRenderHint(QPainter::Antialiasing);
    // The figure lives on a 40 × 40 grid.
    const qreal s = std::min(frame.width(), frame.height()) / 40.0;
    const auto at = [s](qreal x, qreal y) { return QPointF(x * s, y * s); };

    QPainterPath background;
    background.addRoundedRect(QRectF(QPointF(0, 0), frame), 10 * s, 10 * s);
    painter.fillPath(background, palette::navy900);

    QPainterPath outline;
    outline.setFillRule(Qt::WindingFill);
    outline.addPolygon(QPolygonF(
        {at(20, 5.5), at(32.5, 12), at(32.5, 28), at(20, 34.5), at(7.5, 28), at(7.5, 12), at(20, 5.5)}));
    painter.fillPath(outline, shield);

    painter.setBrush(Qt::NoBrush);
    painter.setPen(stroke(Qt::white, 4.5 * s));
    if (mark == Mark::v) {
        painter.drawPolyline(QPolygonF({at(12.5, 14.5), at(20, 27.5), at(27.5, 14.5)}));
    } else {
        // As wide as the "V"'s strokes, so it stays legible as small.
        painter.drawLine(at(20, 11.5), at(20, 18.5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(at(20, 26.5), 2.5 * s, 2.5 * s);
        painter.setBrush(Qt::NoBrush);
    }
    painter.setPen(stroke(palette::cyan400, 2.5 * s));
    painter.drawPolyline(QPolygonF({at(28.5, 8.5), at(32.5, 8.5), at(32.5, 12.5)}));
}

} // namespace korvel::ui
