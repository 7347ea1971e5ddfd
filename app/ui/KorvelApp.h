#pragma once

#include <functional>

class QWidget;

namespace korvel::ui {

// The desktop application: one model over the user's keyring, settings, autostart folder and desktop,
// created before the window, the one window showing it, and its icon in the desktop's panel.
class KorvelApp {
public:
    // Opens the window and runs until it is closed, or, with an icon in the panel, until Korvel is quit
    // from there; returns the exit code. beforeShow sees the window just before it is shown (benchmarks
    // time its first frame).
    static int run(int argc, char** argv, const std::function<void(QWidget&)>& beforeShow = {});
};

} // namespace korvel::ui
