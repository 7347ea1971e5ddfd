#pragma once

#include <QString>

namespace korvel::cli {

// Reads a password from standard input: typed at the terminal without echo, or the first line of
// whatever is piped in. Only the line's end (a piped line's carriage return too) is removed; spaces
// belong to the password.
class PasswordPrompt {
public:
    // `prompt` goes to standard error, and only when standard input is a terminal.
    static QString read(const QString& prompt);
};

} // namespace korvel::cli
