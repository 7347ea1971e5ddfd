#include "Typography.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

namespace korvel::ui {

QFont Typography::font(int pixelSize, QFont::Weight weight) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void Typography::style(QWidget& widget, int pixelSize, QFont::Weight weight, const QColor& colour) {
    widget.setFont(font(pixelSize, weight));
    QPalette colours = widget.palette();
    colours.setColor(QPalette::WindowText, colour);
    widget.setPalette(colours);
}

QLabel* Typography::label(const QString& text, int pixelSize, QFont::Weight weight, const QColor& colour) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    style(*label, pixelSize, weight, colour);
    return label;
}

QLabel* Typography::wrappingLabel(const QString& text, int pixelSize, QFont::Weight weight,
                                  const QColor& colour) {
    QLabel* wrapping = label(text, pixelSize, weight, colour);
    wrapping->setWordWrap(true);
    return wrapping;
}

} // namespace korvel::ui
