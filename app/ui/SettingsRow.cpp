#include "SettingsRow.h"

#include "Palette.h"
#include "Typography.h"

#include <QBoxLayout>
#include <QLabel>

namespace korvel::ui {
SettingsRow::SettingsRow(const QString& title, const QString& subtitle, QWidget* trailing, QWidget* parent)
    : QWidget(parent) {
    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(2);
    texts->addWidget(Typography::wrappingLabel(title, 13, QFont::DemiBold, palette::navy900));
    texts->addWidget(Typography::wrappingLabel(subtitle, 11, QFont::Normal, palette::gray400));

    // The texts take all the width the trailing view leaves, so a long subtitle wraps instead of
    // pushing the trailing view out of the box.
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 11, 0, 11);
    row->setSpacing(12);
    row->addLayout(texts, 1);
    row->addWidget(trailing, 0, Qt::AlignVCenter);
}

} // namespace korvel::ui
