// korvel: the application. Without arguments it opens the window; with a subcommand it runs headless on
// the command line.
#include "CliProgram.h"
#include "DisplayGuard.h"
#include "KorvelApp.h"

int main(int argc, char* argv[]) {
    if (argc > 1) {
        return korvel::cli::CliProgram::run(argc, argv, {});
    }
    // Over SSH or on a console the window has nowhere to go.
    korvel::cli::DisplayGuard guard;
    return korvel::ui::KorvelApp::run(argc, argv, [&guard](QWidget&) { guard.release(); });
}
