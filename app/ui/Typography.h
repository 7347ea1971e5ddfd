#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QLabel;
class QWidget;

namespace korvel::ui {

// Text as the screens set it: the system font at a size in logical pixels and a weight, in a colour.
class Typography {
public:
    static QFont font(int pixelSize, QFont::Weight weight);
    // Gives the widget that font and that text colour.
    static void style(QWidget& widget, int pixelSize, QFont::Weight weight, const QColor& colour);
    // A plain-text label (never markup: server texts are shown as sent) in that font and colour.
    static QLabel* label(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour);
    // The same, wrapping at word boundaries when its width runs out.
    static QLabel* wrappingLabel(const QString& text, int pixelSize, QFont::Weight weight,
                                 const QColor& colour);
};

} // namespace korvel::ui
