#include "ConnectionBackdrop.h"

#include "LogoTile.h"
#include "Palette.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace korvel::ui {
namespace {

QColor withAlpha(QColor colour, float alpha) {
    colour.setAlphaF(alpha);
    return colour;
}

// A circle of the diameter around the point.
QRectF circle(QPointF centre, qreal diameter) {
    return {centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter};
}

} // namespace

ConnectionBackdrop::ConnectionBackdrop(const QColor& color, QWidget* parent)
    : QWidget(parent), color_(color), emblem_(new QWidget(this)) {
    auto* caption = new QLabel(QStringLiteral("PRIVATE CONNECTION"));
    QFont font = caption->font();
    font.setPixelSize(10);
    font.setWeight(QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
    caption->setFont(font);
    QPalette colours = caption->palette();
    colours.setColor(QPalette::WindowText, withAlpha(Qt::white, 0.82F));
    caption->setPalette(colours);

    auto* column = new QVBoxLayout(emblem_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(new LogoTile(38), 0, Qt::AlignHCenter);
    column->addWidget(caption, 0, Qt::AlignHCenter);
    emblem_->adjustSize();
}

void ConnectionBackdrop::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ConnectionBackdrop::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(rect());
    const QPointF centre = frame.center();

    QLinearGradient gradient(frame.topLeft(), frame.bottomRight());
    gradient.setColorAt(0, withAlpha(color_, 0.88F));
    gradient.setColorAt(1, color_);
    painter.fillRect(frame, gradient);

    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(Qt::white, 0.10F));
    painter.drawEllipse(circle(centre + QPointF(0, 176), 470));

    QPen ring(withAlpha(Qt::white, 0.13F), 54, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(ring);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(circle(centre + QPointF(0, 156), 340));

    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(palette::cyan400, 0.18F));
    painter.drawEllipse(circle(centre + QPointF(205, -92), 190));
}

void ConnectionBackdrop::resizeEvent(QResizeEvent*) {
    emblem_->move((width() - emblem_->width()) / 2, (height() - emblem_->height()) / 2 - 56);
}

} // namespace korvel::ui
