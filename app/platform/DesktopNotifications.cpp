#include "DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <utility>

namespace korvel::platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
}

void DesktopNotifications::show(const QString& summary, const QString& body, const QStringList& actions) {
    QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // The desktop entry lets the desktop group the notice with Korvel and take its icon and settings.
    notify << QStringLiteral("Korvel") << latest_ << QStringLiteral("korvel") << summary << body << actions
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("korvel")}} << -1;
    auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<uint> id = *finished;
        if (id.isValid()) {
            latest_ = id.value();
        }
        finished->deleteLater();
    });
}

void DesktopNotifications::onActionInvoked(uint id, const QString& key) {
    if (id != 0 && id == latest_) {
        emit actionInvoked(key);
    }
}

} // namespace korvel::platform
