// korvel: the application. With a subcommand it runs headless on the command line.
#include "CliProgram.h"

int main(int argc, char* argv[]) { return korvel::cli::CliProgram::run(argc, argv, {}); }
