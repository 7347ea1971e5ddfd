#pragma once

namespace korvel::cli {

// While the window's application object starts: Qt's fatal failure to reach a display becomes one
// sentence and exit code 1, instead of an abort with a core dump, and Qt's messages about it are held
// back. Once released, or destroyed, the held messages pass on and Qt's own handling is back.
class DisplayGuard {
public:
    DisplayGuard();
    ~DisplayGuard();
    DisplayGuard(const DisplayGuard&) = delete;
    DisplayGuard& operator=(const DisplayGuard&) = delete;

    void release();
};

} // namespace korvel::cli
