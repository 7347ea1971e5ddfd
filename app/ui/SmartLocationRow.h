#pragma once

#include <QAbstractButton>

namespace korvel::ui {

// The automatic choice above the location rows: a bolt tile, "Smart Location" over "Fastest available
// server", the chosen mark when selected, and a divider below. The whole row is the button; Space and
// Return press it.
class SmartLocationRow : public QAbstractButton {
    Q_OBJECT

public:
    explicit SmartLocationRow(QWidget* parent = nullptr);

    bool isSelected() const { return selected_; }
    void setSelected(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QFont titleFont_;
    QFont subtitleFont_;
    QFont checkFont_;
    bool selected_ = false;
};

} // namespace korvel::ui
