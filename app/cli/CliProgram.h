#pragma once

#include "AppModelOptions.h"

namespace korvel::cli {

// The command line from arguments to exit code: parses them, prints help, or builds the application
// model headless over the user's keyring, settings and autostart folder and runs the subcommand on the
// Qt event loop.
class CliProgram {
public:
    // `options` say how the model reaches the web API and the tunnel daemon; the installed program
    // passes the defaults.
    static int run(int argc, char** argv, model::AppModelOptions options);
};

} // namespace korvel::cli
