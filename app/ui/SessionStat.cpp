#include "SessionStat.h"

#include "ElidedLabel.h"
#include "Palette.h"
#include "Typography.h"

#include <QLabel>
#include <QVBoxLayout>

namespace korvel::ui {
namespace {

void setLook(QLabel& label, int pixelSize, const QColor& colour) {
    Typography::style(label, pixelSize, QFont::DemiBold, colour);
    label.setAlignment(Qt::AlignCenter);
}

} // namespace

SessionStat::SessionStat(const QString& title, const QString& value, QWidget* parent)
    : QWidget(parent), value_(new ElidedLabel) {
    auto* heading = new QLabel(title.toUpper());
    heading->setTextFormat(Qt::PlainText);
    setLook(*heading, 10, palette::gray400);
    setLook(*value_, 13, palette::navy900);
    value_->setText(value);

    // Ignored: the width comes from the shares of the row, never from the texts.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 0, 10, 0);
    column->setSpacing(3);
    column->addWidget(heading);
    column->addWidget(value_);
}

QString SessionStat::value() const { return value_->text(); }

void SessionStat::setValue(const QString& value) { value_->setText(value); }

} // namespace korvel::ui
