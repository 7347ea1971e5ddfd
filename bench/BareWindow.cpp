// korvel-bare-window [--text] [--first-frame LAUNCHED]: an empty Qt Widgets window of the application
// window's size and colour, the toolkit's own cost to set against the application's; with --text it
// shows one line of text, so the fonts are set up too. With --first-frame it prints the milliseconds
// from LAUNCHED (seconds since the epoch) to its first frame and exits; otherwise it stays open until
// it is closed or terminated.
#include "FirstFrame.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <string_view>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setMinimumSize(560, 680);
    window.setAutoFillBackground(true);
    QPalette colours = window.palette();
    colours.setColor(QPalette::Window, Qt::white);
    window.setPalette(colours);
    window.setWindowTitle(QStringLiteral("Korvel"));
    std::unique_ptr<korvel::bench::FirstFrame> probe;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--text") {
            (new QVBoxLayout(&window))->addWidget(new QLabel(QStringLiteral("Korvel")), 0, Qt::AlignCenter);
        } else if (std::string_view(argv[i]) == "--first-frame" && i + 1 < argc) {
            probe = std::make_unique<korvel::bench::FirstFrame>(window, std::atof(argv[++i]));
        }
    }
    window.show();
    return QApplication::exec();
}
