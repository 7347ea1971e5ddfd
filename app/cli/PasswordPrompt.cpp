#include "PasswordPrompt.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace korvel::cli {
namespace {

termios echoing{};

// An interrupt while echo is off must not leave the terminal silent for the shell.
void restoreAndRaise(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

QString PasswordPrompt::read(const QString& prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &echoing) == 0;
    if (terminal) {
        std::fputs(prompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
        std::signal(SIGINT, restoreAndRaise);
        std::signal(SIGTERM, restoreAndRaise);
        std::signal(SIGHUP, restoreAndRaise);
        termios silent = echoing;
        silent.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        line.push_back(static_cast<char>(c));
    }
    // A line written on Windows, or by a program that ends lines so.
    if (!terminal && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &echoing);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
        std::fputc('\n', stderr);
    }
    return QString::fromStdString(line);
}

} // namespace korvel::cli
