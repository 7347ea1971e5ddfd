#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QVariantAnimation>

namespace korvel::ui {

// The large round button: a white disc with a soft shadow, showing the power glyph, or a turning arc
// while spinning, in its colour. Only the disc takes clicks; Space and Return press it.
class ConnectButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int kDiameter = 146;

    explicit ConnectButton(QWidget* parent = nullptr);

    void setColor(const QColor& color);
    bool isSpinning() const { return spinning_; }
    void setSpinning(bool spinning);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QColor color_;
    bool spinning_ = false;
    QVariantAnimation turn_;
};

} // namespace korvel::ui
