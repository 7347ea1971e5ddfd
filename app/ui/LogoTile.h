#pragma once

#include <QWidget>

namespace korvel::ui {

// The drawn logo: a navy tile with a blue shield, a white "V" and a cyan corner tick. Its frame is a
// square of `size`; in any other frame the tile fills it and the figure scales by the shorter side,
// drawn from the top-left.
class LogoTile : public QWidget {
    Q_OBJECT

public:
    explicit LogoTile(int size, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvel::ui
