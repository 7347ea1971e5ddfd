#pragma once

#include <QString>
#include <QWidget>

namespace korvel::ui {

// One settings line: a title with a subtitle under it on the left, a control or text at the right edge.
class SettingsRow : public QWidget {
    Q_OBJECT

public:
    // Takes ownership of trailing.
    SettingsRow(const QString& title, const QString& subtitle, QWidget* trailing, QWidget* parent = nullptr);
};

} // namespace korvel::ui
