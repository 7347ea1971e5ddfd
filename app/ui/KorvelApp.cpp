#include "KorvelApp.h"

#include "AppModel.h"
#include "AutostartLoginItem.h"
#include "ContentView.h"
#include "DesktopNotifications.h"
#include "Keychain.h"
#include "LightTheme.h"
#include "LinuxDesktop.h"
#include "LogoTile.h"
#include "PanelIcon.h"
#include "SettingsPreferences.h"
#include "SingleInstance.h"

#include <QApplication>

namespace korvel::ui {

int KorvelApp::run(int argc, char** argv, const std::function<void(QWidget&)>& beforeShow) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Korvel"));
    QApplication::setDesktopFileName(QStringLiteral("korvel"));
    SingleInstance instance(QDBusConnection::sessionBus());
    if (!instance.claim()) {
        return 0;
    }
    LightTheme::apply();
    QApplication::setWindowIcon(LogoTile::icon());

    api::Keychain keychain;
    platform::SettingsPreferences preferences;
    platform::AutostartLoginItem loginItem;
    platform::LinuxDesktop desktop;
    model::AppModel model(keychain, preferences, loginItem, desktop);

    // The desktop's own title bar stays; the window takes its smallest size from the content.
    ContentView window(model);
    window.setWindowTitle(QStringLiteral("Korvel"));
    // Whether closing the window quits is the panel icon's to say.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::DesktopNotifications notices(QDBusConnection::sessionBus());
    PanelIcon panel(model, notices, window);
    QObject::connect(&panel, &PanelIcon::quitRequested, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::activated, &panel, &PanelIcon::showWindow);
    if (beforeShow) {
        beforeShow(window);
    }
    window.show();
    return QApplication::exec();
}

} // namespace korvel::ui
