#include "SettingsGroup.h"

#include "Palette.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace korvel::ui {

SettingsGroup::SettingsGroup(const QString& title, QWidget* parent)
    : QWidget(parent), box_(new QWidget), rows_(new QVBoxLayout(box_)) {
    auto* heading = new QLabel(title.toUpper());
    heading->setTextFormat(Qt::PlainText);
    QFont font = heading->font();
    font.setPixelSize(11);
    font.setWeight(QFont::DemiBold);
    heading->setFont(font);
    QPalette colors = heading->palette();
    colors.setColor(QPalette::WindowText, palette::gray400);
    heading->setPalette(colors);

    rows_->setContentsMargins(14, 4, 14, 4);
    rows_->setSpacing(0);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(heading, 0, Qt::AlignLeft);
    column->addSpacing(8);
    column->addWidget(box_);
}

void SettingsGroup::addRow(QWidget* row) { rows_->addWidget(row); }

void SettingsGroup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Half a pixel in, so the one-pixel outline falls on whole pixels inside the box.
    QPainterPath shape;
    shape.addRoundedRect(QRectF(box_->geometry()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(shape, palette::gray50);
    painter.setPen(QPen(palette::gray200, 1));
    painter.drawPath(shape);
}

} // namespace korvel::ui
