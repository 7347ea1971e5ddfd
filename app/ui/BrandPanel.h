#pragma once

#include <QWidget>

namespace korvel::ui {

// The decorative right-hand side of the sign-in screen: a navy gradient, rings and dots around the
// logo, and a short caption at the bottom. Fixed width, as tall as it is given.
class BrandPanel : public QWidget {
    Q_OBJECT

public:
    explicit BrandPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* cluster_;
};

} // namespace korvel::ui
