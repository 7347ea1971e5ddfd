#include "ScrollColumn.h"

namespace korvel::ui {

ScrollColumn::ScrollColumn(QWidget* content, QWidget* parent) : QScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(content);
    // Not a stop of its own for Tab: the controls inside are, and it scrolls to show them.
    setFocusPolicy(Qt::NoFocus);
}

} // namespace korvel::ui
