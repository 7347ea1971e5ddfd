#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

namespace korvel::test {

// Writes what the widget shows to <build>/screenshots/<name>.png, for a person to look at.
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QStringLiteral(KORVEL_SCREENSHOT_DIR);
    return QDir().mkpath(folder) &&
           widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace korvel::test
