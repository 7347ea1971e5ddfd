#include "SectionPlaceholder.h"

#include "Palette.h"

#include <QLabel>
#include <QVBoxLayout>

namespace korvel::ui {

SectionPlaceholder::SectionPlaceholder(const QString& name, QWidget* parent) : QWidget(parent) {
    auto* label = new QLabel(name + QStringLiteral(" (coming soon)"));
    QFont font = label->font();
    font.setPixelSize(16);
    label->setFont(font);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, palette::gray400);
    label->setPalette(colours);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label, 0, Qt::AlignCenter);
}

} // namespace korvel::ui
