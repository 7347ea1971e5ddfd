#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace korvel::ui {

// The keyboard focus mark of the drawn controls: a 2-pixel line just inside the control's own outline,
// so it follows the shape (a circle for a round control, the same corners for a rounded one).
class FocusRing {
public:
    static constexpr qreal kWidth = 2;

    // Strokes the outline of `shape` (corners of `radius`) shrunk by `inset`, in `colour`.
    static void paint(QPainter& painter, const QRectF& shape, qreal radius, qreal inset,
                      const QColor& colour);
};

} // namespace korvel::ui
