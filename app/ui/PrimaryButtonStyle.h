#pragma once

#include <QProxyStyle>

class QPushButton;

namespace korvel::ui {

// The look of the main call-to-action buttons: a white semibold label on a blue rounded rectangle that
// lightens while held down, with a white ring inside its edge while it has the focus, stretched to the
// full width it is offered. Disabled looks the same; screens
// that disable such a button show that themselves.
class PrimaryButtonStyle : public QProxyStyle {
    Q_OBJECT

public:
    // Gives the button this look; the style lives as long as the button.
    static void apply(QPushButton& button);

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contentsSize,
                           const QWidget* widget = nullptr) const override;

private:
    PrimaryButtonStyle() = default;
};

} // namespace korvel::ui
