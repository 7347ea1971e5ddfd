// korvel-window-start LAUNCHED: the application's window, built and shown by korvel's own start-up,
// printing the milliseconds from LAUNCHED (seconds since the epoch) to the window's first frame, then
// exiting.
#include "FirstFrame.h"

#include "KorvelApp.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: korvel-window-start LAUNCHED\n", stderr);
        return 2;
    }
    const double launched = std::atof(argv[1]);
    std::unique_ptr<korvel::bench::FirstFrame> probe;
    return korvel::ui::KorvelApp::run(argc, argv, [&](QWidget& window) {
        probe = std::make_unique<korvel::bench::FirstFrame>(window, launched);
    });
}
