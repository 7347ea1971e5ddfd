#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QString>
#include <QWidget>

namespace korvel::test {

// Writes what the widget shows to <build>/screenshots/<name>.png, for a person to look at, once the
// layouts Qt still owes it are done (a grab alone would show the state before them).
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QString folder = QStringLiteral(KORVEL_SCREENSHOT_DIR);
    return QDir().mkpath(folder) &&
           widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace korvel::test
