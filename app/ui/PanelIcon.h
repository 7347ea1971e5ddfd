#pragma once

#include "AppModel.h"

#include <QDBusServiceWatcher>
#include <QObject>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace korvel::platform {
class DesktopNotifications;
}

namespace korvel::ui {

// Korvel in the desktop's panel: an icon in the tunnel state's colour with a menu to connect, choose a
// location, open the window or quit, and notices of what happened while no one was looking at the
// window. While the icon is in a panel, closing the window keeps Korvel running there; without a panel,
// closing it quits.
class PanelIcon : public QObject {
    Q_OBJECT

public:
    // The model, the notices and the window must outlive the icon.
    PanelIcon(model::AppModel& model, platform::DesktopNotifications& notices, QWidget& window,
              QObject* parent = nullptr);
    ~PanelIcon() override;

    // Whether the icon is in a panel now, so that closing the window keeps Korvel running.
    bool isInPanel() const;
    // Brings the window to the front, also when it was closed or minimised.
    void showWindow();

signals:
    // "Quit Korvel" was chosen, or the window was closed with no panel to stay in.
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void present();
    void showState();
    void showLocations();
    // Connects (or disconnects) as asked from the panel or a notice; a connect that fails is told in a
    // notice, since the window may not be in sight.
    void toggleFromPanel();
    void reportFailure();

    model::AppModel& model_;
    platform::DesktopNotifications& notices_;
    QWidget& window_;
    // Declared before the icon, which refers to it until it goes.
    std::unique_ptr<QMenu> menu_;
    QAction* status_;
    QAction* toggle_;
    QMenu* locations_;
    QAction* signIn_;
    QAction* open_;
    QSystemTrayIcon* icon_ = nullptr;
    std::optional<tunnel::TunnelState::Kind> shownKind_;
    QDBusServiceWatcher watcher_;
    bool toldStillRunning_ = false;
};

} // namespace korvel::ui
