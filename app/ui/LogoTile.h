#pragma once

#include <QIcon>
#include <QWidget>

namespace korvel::ui {

// The drawn logo: a navy tile with a blue shield, a white "V" and a cyan corner tick. Its frame is a
// square of `size`; in any other frame the tile fills it and the figure scales by the shorter side,
// drawn from the top-left.
class LogoTile : public QWidget {
    Q_OBJECT

public:
    explicit LogoTile(int size, QWidget* parent = nullptr);

    // The logo at the sizes a desktop shows window icons in.
    static QIcon icon();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static void paint(QPainter& painter, QSize frame);
};

} // namespace korvel::ui
