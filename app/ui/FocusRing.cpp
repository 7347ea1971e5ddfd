#include "FocusRing.h"

#include <QPainter>

#include <algorithm>

namespace korvel::ui {

void FocusRing::paint(QPainter& painter, const QRectF& shape, qreal radius, qreal inset,
                      const QColor& colour) {
    // The pen is centred on the path: half its width further in keeps the whole line inside.
    const qreal in = inset + kWidth / 2;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, kWidth));
    painter.setBrush(Qt::NoBrush);
    const qreal corner = std::max<qreal>(0, radius - in);
    painter.drawRoundedRect(shape.adjusted(in, in, -in, -in), corner, corner);
    painter.restore();
}

} // namespace korvel::ui
