#pragma once

#include "TunnelState.h"

#include <QColor>
#include <QString>

namespace korvel::ui {

// How a tunnel state shows, on the connect screen and in the panel alike: its colour, its title and the
// sentence that explains it.
struct TunnelLook {
    static TunnelLook of(const tunnel::TunnelState& state);

    QColor colour;
    QString title;
    QString explanation;
};

} // namespace korvel::ui
