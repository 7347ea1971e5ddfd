// korvel: the application. Without arguments it opens the window; with a subcommand it runs headless on
// the command line.
#include "CliProgram.h"
#include "KorvelApp.h"

int main(int argc, char* argv[]) {
    return argc > 1 ? korvel::cli::CliProgram::run(argc, argv, {}) : korvel::ui::KorvelApp::run(argc, argv);
}
