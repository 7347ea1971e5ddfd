// korvel-window-start LAUNCHED: the application's window built as korvel builds it (the model
// over the user's keyring, settings, autostart folder and desktop, then the window), printing the
// milliseconds from LAUNCHED (seconds since the epoch) to the window's first frame, then exiting.
#include "FirstFrame.h"

#include "AppModel.h"
#include "AutostartLoginItem.h"
#include "ContentView.h"
#include "Keychain.h"
#include "LinuxDesktop.h"
#include "SettingsPreferences.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fputs("Usage: korvel-window-start LAUNCHED\n", stderr);
        return 2;
    }
    using namespace korvel;
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Korvel"));
    QApplication::setDesktopFileName(QStringLiteral("korvel"));

    api::Keychain keychain;
    platform::SettingsPreferences preferences;
    platform::AutostartLoginItem loginItem;
    platform::LinuxDesktop desktop;
    model::AppModel model(keychain, preferences, loginItem, desktop);

    ui::ContentView window(model);
    window.setWindowTitle(QStringLiteral("Korvel"));
    const bench::FirstFrame probe(window, std::atof(argv[1]));
    window.show();
    return QApplication::exec();
}
