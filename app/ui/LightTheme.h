#pragma once

#include <QPalette>

namespace korvel::ui {

// The design is light only: the application's own light palette and the Fusion style, which draws with
// it, whatever the desktop's theme says (a dark desktop would otherwise turn fields, check boxes, menus
// and scroll bars dark on the light screens).
class LightTheme {
public:
    static QPalette palette();
    // For the whole application, before its first window.
    static void apply();
};

} // namespace korvel::ui
