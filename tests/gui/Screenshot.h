#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QString>
#include <QTest>
#include <QWidget>

#include <algorithm>

namespace korvel::test {

// Writes what the widget shows to <build>/screenshots/<name>.png, for a person to look at, once the
// layouts Qt still owes it are done (a grab alone would show the state before them).
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QString folder = QStringLiteral(KORVEL_SCREENSHOT_DIR);
    return QDir().mkpath(folder) &&
           widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// Shows the widget, by default at the size the main shell gives a screen in the smallest window.
inline bool shown(QWidget& widget, QSize size = {560, 627}) {
    widget.resize(size);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget);
}

// The label that shows `text` in the widget now, if any.
inline QLabel* shownLabel(QWidget& widget, const QString& text) {
    QCoreApplication::processEvents();
    const QList<QLabel*> labels = widget.findChildren<QLabel*>();
    const auto found = std::ranges::find_if(
        labels, [&](const QLabel* label) { return label->text() == text && label->isVisibleTo(&widget); });
    return found == labels.end() ? nullptr : *found;
}

} // namespace korvel::test
