#include "SettingsToggleRow.h"

#include <QCheckBox>

namespace korvel::ui {

SettingsToggleRow::SettingsToggleRow(const QString& title, const QString& subtitle, QWidget* parent)
    : SettingsToggleRow(title, subtitle, new QCheckBox, parent) {}

SettingsToggleRow::SettingsToggleRow(const QString& title, const QString& subtitle, QCheckBox* toggle,
                                     QWidget* parent)
    : SettingsRow(title, subtitle, toggle, parent), toggle_(toggle) {
    // The box shows no text of its own; the row's title names it for assistive technology.
    toggle_->setAccessibleName(title);
    toggle_->setAccessibleDescription(subtitle);
    setFocusProxy(toggle_);
    connect(toggle_, &QCheckBox::clicked, this, &SettingsToggleRow::userToggled);
}

bool SettingsToggleRow::isOn() const { return toggle_->isChecked(); }

void SettingsToggleRow::setOn(bool on) { toggle_->setChecked(on); }

} // namespace korvel::ui
