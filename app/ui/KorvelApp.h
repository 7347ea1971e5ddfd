#pragma once

#include <functional>

class QWidget;

namespace korvel::ui {

// The desktop application: one model over the user's keyring, settings, autostart folder and desktop,
// created before the window, and the one window showing it.
class KorvelApp {
public:
    // Opens the window and runs until it is closed; returns the exit code. beforeShow sees the window
    // just before it is shown (benchmarks time its first frame).
    static int run(int argc, char** argv, const std::function<void(QWidget&)>& beforeShow = {});
};

} // namespace korvel::ui
