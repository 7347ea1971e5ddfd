#include "KorvelApp.h"

#include "AppModel.h"
#include "AutostartLoginItem.h"
#include "ContentView.h"
#include "Keychain.h"
#include "LinuxDesktop.h"
#include "SettingsPreferences.h"

#include <QApplication>

namespace korvel::ui {

int KorvelApp::run(int argc, char** argv, const std::function<void(QWidget&)>& beforeShow) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Korvel"));
    QApplication::setDesktopFileName(QStringLiteral("korvel"));

    api::Keychain keychain;
    platform::SettingsPreferences preferences;
    platform::AutostartLoginItem loginItem;
    platform::LinuxDesktop desktop;
    model::AppModel model(keychain, preferences, loginItem, desktop);

    // The desktop's own title bar stays; the window takes its smallest size from the content.
    ContentView window(model);
    window.setWindowTitle(QStringLiteral("Korvel"));
    if (beforeShow) {
        beforeShow(window);
    }
    window.show();
    return QApplication::exec();
}

} // namespace korvel::ui
