#pragma once

#include "ServerLoad.h"

#include <QPoint>
#include <QSize>
#include <QString>

class QPainter;

namespace korvel::ui {

// A server's load as three bars of growing height: one green bar for low, two cyan for medium, three
// red for high. Painted by the rows that show it, so a long list needs no widget per row.
class LoadIndicator {
public:
    explicit LoadIndicator(api::ServerLoad load) : load_(load) {}

    static QSize size();
    void paint(QPainter& painter, QPoint topLeft) const;
    // "Low load", "Medium load" or "High load".
    QString toolTip() const;

private:
    api::ServerLoad load_;
};

} // namespace korvel::ui
