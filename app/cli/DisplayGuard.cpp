#include "DisplayGuard.h"

#include <QList>
#include <QMessageLogContext>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace korvel::cli {
namespace {

struct Held {
    QtMsgType type;
    QString message;
};

QtMessageHandler previous = nullptr;
QList<Held> held;

void handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs("Korvel cannot open its window: no display is available. Run 'korvel --help' for the "
                   "commands that work without one.\n",
                   stderr);
        std::_Exit(1);
    }
    held.append({type, message});
}

} // namespace

DisplayGuard::DisplayGuard() { previous = qInstallMessageHandler(handle); }

DisplayGuard::~DisplayGuard() { release(); }

void DisplayGuard::release() {
    if (!previous) {
        return;
    }
    qInstallMessageHandler(std::exchange(previous, nullptr));
    for (const Held& message : std::exchange(held, {})) {
        qt_message_output(message.type, QMessageLogContext(), message.message);
    }
}

} // namespace korvel::cli
