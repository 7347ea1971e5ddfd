#pragma once

#include <QScrollArea>

namespace korvel::ui {

// A screen's content that scrolls up and down only, without a frame of its own, as wide as the screen.
class ScrollColumn : public QScrollArea {
    Q_OBJECT

public:
    explicit ScrollColumn(QWidget* content, QWidget* parent = nullptr);
};

} // namespace korvel::ui
