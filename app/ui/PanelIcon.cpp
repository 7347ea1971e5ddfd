#include "PanelIcon.h"

#include "DesktopNotifications.h"
#include "LogoTile.h"
#include "TunnelLook.h"

#include <QDBusConnectionInterface>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace korvel::ui {
namespace {

using api::ServerLocation;
using Kind = tunnel::TunnelState::Kind;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kNotSignedIn = QStringLiteral("Not signed in");
const QString kStillRunning = QStringLiteral("Korvel is still running in the panel.");
const QString kLost = QStringLiteral("Korvel is no longer protecting your traffic.");
const QString kReconnect = QStringLiteral("reconnect");

// An ampersand in a name is shown, not taken as the mark of a shortcut key.
QString shown(QString text) { return text.replace(u'&', QStringLiteral("&&")); }

// The logo with its shield in the state's colour, at the sizes panels draw and twice the smaller ones
// for dense screens.
QIcon iconOf(const tunnel::TunnelState& state) {
    const QColor colour = TunnelLook::of(state).colour;
    const LogoTile::Mark mark = state.kind() == Kind::error ? LogoTile::Mark::alert : LogoTile::Mark::v;
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 44, 48, 64}) {
        icon.addPixmap(LogoTile::pixmap(side, colour, mark));
    }
    return icon;
}

bool watcherRunning() {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus != nullptr && bus->isServiceRegistered(kWatcher);
}

} // namespace

PanelIcon::PanelIcon(model::AppModel& model, platform::DesktopNotifications& notices, QWidget& window,
                     QObject* parent)
    : QObject(parent), model_(model), notices_(notices), window_(window), menu_(std::make_unique<QMenu>()),
      watcher_(kWatcher, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration) {
    status_ = menu_->addAction(QString());
    status_->setEnabled(false);
    toggle_ = menu_->addAction(QString());
    connect(toggle_, &QAction::triggered, this, &PanelIcon::toggleFromPanel);
    locations_ = menu_->addMenu(QStringLiteral("Location"));
    signIn_ = menu_->addAction(QStringLiteral("Sign in\u2026"));
    connect(signIn_, &QAction::triggered, this, &PanelIcon::showWindow);
    menu_->addSeparator();
    open_ = menu_->addAction(QStringLiteral("Open Korvel"));
    connect(open_, &QAction::triggered, this, &PanelIcon::showWindow);
    connect(menu_->addAction(QStringLiteral("Quit Korvel")), &QAction::triggered, this,
            &PanelIcon::quitRequested);

    using model::AppModel;
    for (const auto changed : {&AppModel::isSignedInChanged, &AppModel::stateChanged,
                               &AppModel::isBusyChanged, &AppModel::selectedLocationChanged}) {
        connect(&model_, changed, this, &PanelIcon::showState);
    }
    // Later: choosing an entry changes the lists, and the entry must outlive its own signal.
    for (const auto changed : {&AppModel::locationsChanged, &AppModel::favoriteHostnamesChanged,
                               &AppModel::recentHostnamesChanged, &AppModel::selectedLocationChanged}) {
        connect(&model_, changed, this, &PanelIcon::showLocations, Qt::QueuedConnection);
    }
    connect(&model_, &AppModel::showInPanelChanged, this, &PanelIcon::present);
    connect(&watcher_, &QDBusServiceWatcher::serviceRegistered, this, &PanelIcon::present);

    connect(&model_, &AppModel::tunnelLost, this, [this](const std::optional<QString>& reason) {
        if (model_.isSignedIn()) {
            notices_.show(kLost, reason.value_or(QString()), {kReconnect, QStringLiteral("Reconnect")});
        }
    });
    connect(&notices_, &platform::DesktopNotifications::actionInvoked, this, [this](const QString& key) {
        // Unless it is back already: a toggle would take it down again.
        if (key == kReconnect && !model_.isBusy() && model_.state().kind() != Kind::connected) {
            toggleFromPanel();
        }
    });
    window_.installEventFilter(this);

    showState();
    showLocations();
    present();
}

PanelIcon::~PanelIcon() {
    // Before the menu it shows.
    delete icon_;
}

bool PanelIcon::isInPanel() const {
    return icon_ != nullptr && icon_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void PanelIcon::showWindow() {
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

bool PanelIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Close) {
        if (!isInPanel()) {
            emit quitRequested();
        } else if (!toldStillRunning_) {
            toldStillRunning_ = true;
            notices_.show(kStillRunning);
        }
    }
    return QObject::eventFilter(watched, event);
}

void PanelIcon::present() {
    // Qt settles between a StatusNotifierItem and an XEmbed tray once per process, when the first icon
    // is made. On X11 it docks into an XEmbed tray whenever one appears; elsewhere only a watcher that
    // is already there takes the icon, so it is made once one is.
    if (icon_ == nullptr && model_.showInPanel() &&
        (QGuiApplication::platformName() == u"xcb" ||
         (watcherRunning() && QSystemTrayIcon::isSystemTrayAvailable()))) {
        icon_ = new QSystemTrayIcon(this);
        icon_->setContextMenu(menu_.get());
        connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) {
                showWindow();
            }
        });
        showState();
    }
    if (icon_ != nullptr) {
        icon_->setVisible(model_.showInPanel());
    }
}

void PanelIcon::showState() {
    const tunnel::TunnelState& state = model_.state();
    const bool signedIn = model_.isSignedIn();
    const QString line = TunnelLook::of(state).title + QStringLiteral(" \u00B7 ") +
                         (signedIn ? model_.selectedLocationLabel() : kNotSignedIn);
    status_->setText(shown(line));
    for (QAction* action : {status_, toggle_, locations_->menuAction(), open_}) {
        action->setVisible(signedIn);
    }
    signIn_->setVisible(!signedIn);
    toggle_->setText(state.kind() == Kind::connected ? QStringLiteral("Disconnect")
                                                     : QStringLiteral("Connect"));
    toggle_->setEnabled(!model_.isBusy());
    if (icon_ == nullptr) {
        return;
    }
    // The model repeats its state every few seconds; the panel hears only of changes.
    if (icon_->toolTip() != line) {
        icon_->setToolTip(line);
    }
    if (shownKind_ != state.kind()) {
        shownKind_ = state.kind();
        icon_->setIcon(iconOf(state));
    }
}

void PanelIcon::showLocations() {
    locations_->clear();
    const std::optional<ServerLocation>& selected = model_.selectedLocation();
    const auto entry = [this, &selected](const QString& text, const std::optional<ServerLocation>& location) {
        QAction* action = locations_->addAction(shown(text));
        action->setCheckable(true);
        action->setChecked(selected == location);
        connect(action, &QAction::triggered, this, [this, location] {
            model_.selectLocation(location);
            // As on the command line: the tunnel does not say where it leads, so it is made anew.
            if (model_.state().kind() == Kind::connected && !model_.isBusy()) {
                QCoro::connect(
                    model_.connectToSelection(), this, [this](const std::optional<QString>& stayedUp) {
                        if (stayedUp) {
                            notices_.show(QStringLiteral("Could not disconnect. The tunnel is still up."),
                                          *stayedUp);
                        } else {
                            reportFailure();
                        }
                    });
            }
        });
    };
    entry(QStringLiteral("Smart Location"), std::nullopt);

    const QSet<QString>& favourites = model_.favoriteHostnames();
    QList<ServerLocation> favoured;
    for (const ServerLocation& location : model_.locations()) {
        if (favourites.contains(location.hostname)) {
            favoured.append(location);
        }
    }
    QList<ServerLocation> recent;
    for (const QString& hostname : model_.recentHostnames()) {
        const auto listed = std::find_if(model_.locations().begin(), model_.locations().end(),
                                         [&](const ServerLocation& l) { return l.hostname == hostname; });
        if (listed != model_.locations().end() && !favourites.contains(hostname)) {
            recent.append(*listed);
        }
    }
    for (const QList<ServerLocation>& group : {favoured, recent}) {
        if (!group.isEmpty()) {
            locations_->addSeparator();
        }
        for (const ServerLocation& location : group) {
            entry(location.location, location);
        }
    }
}

void PanelIcon::toggleFromPanel() {
    QCoro::connect(model_.toggle(), this, [this] { reportFailure(); });
}

void PanelIcon::reportFailure() {
    // After a toggle from here, only a connect can have ended in an error.
    if (model_.state().kind() == Kind::error) {
        const TunnelLook look = TunnelLook::of(model_.state());
        notices_.show(look.title, look.explanation);
    }
}

} // namespace korvel::ui
