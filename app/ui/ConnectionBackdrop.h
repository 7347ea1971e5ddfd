#pragma once

#include <QColor>
#include <QWidget>

namespace korvel::ui {

// The coloured field behind the connect button: a diagonal gradient of the colour, two soft circles, a
// wide ring, a cyan glow and the logo with its caption, all cut off at the frame.
class ConnectionBackdrop : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionBackdrop(const QColor& color, QWidget* parent = nullptr);

    const QColor& color() const { return color_; }
    void setColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor color_;
    // The logo above its caption.
    QWidget* emblem_;
};

} // namespace korvel::ui
