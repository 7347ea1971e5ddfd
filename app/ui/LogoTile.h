#pragma once

#include "Palette.h"

#include <QIcon>
#include <QPixmap>
#include <QWidget>

namespace korvel::ui {

// The drawn logo: a navy tile with a blue shield, a white "V" and a cyan corner tick. Its frame is a
// square of `size`; in any other frame the tile fills it and the figure scales by the shorter side,
// drawn from the top-left.
class LogoTile : public QWidget {
    Q_OBJECT

public:
    // What the shield carries: the "V", or an exclamation mark for a problem.
    enum class Mark { v, alert };

    explicit LogoTile(int size, QWidget* parent = nullptr);

    // The logo at the sizes a desktop shows window icons in.
    static QIcon icon();
    // The tile at one size, its shield in the given colour.
    static QPixmap pixmap(int side, const QColor& shield = palette::blue500, Mark mark = Mark::v);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static void paint(QPainter& painter, QSize frame, const QColor& shield = palette::blue500,
                      Mark mark = Mark::v);
};

} // namespace korvel::ui
