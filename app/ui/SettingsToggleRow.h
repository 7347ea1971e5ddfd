#pragma once

#include "SettingsRow.h"

class QCheckBox;

namespace korvel::ui {

// A settings row whose trailing view is a check box. The row holds no value of its own: the owner
// sets what it shows and hears what the user chose.
class SettingsToggleRow : public SettingsRow {
    Q_OBJECT

public:
    SettingsToggleRow(const QString& title, const QString& subtitle, QWidget* parent = nullptr);

    bool isOn() const;
    void setOn(bool on);

signals:
    // The user flipped the check box, by mouse or keyboard; not emitted by setOn().
    void userToggled(bool on);

private:
    SettingsToggleRow(const QString& title, const QString& subtitle, QCheckBox* toggle, QWidget* parent);

    QCheckBox* toggle_;
};

} // namespace korvel::ui
