#include "ScrollColumn.h"

namespace korvel::ui {

ScrollColumn::ScrollColumn(QWidget* content, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(content);
}

} // namespace korvel::ui
