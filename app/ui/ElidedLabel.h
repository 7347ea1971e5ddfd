#pragma once

#include <QLabel>

namespace korvel::ui {

// A one-line label that may be narrower than its text: what does not fit is cut off at the end with an
// ellipsis. text() keeps the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace korvel::ui
