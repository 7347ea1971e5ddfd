#include "SingleInstance.h"

#include <QDBusMessage>

namespace korvel::ui {
namespace {

const QString kService = QStringLiteral("org.korvel.Korvel");
const QString kPath = QStringLiteral("/org/korvel/Korvel");

} // namespace

SingleInstance::SingleInstance(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {}

bool SingleInstance::claim() {
    if (!bus_.isConnected()) {
        return true;
    }
    // The object first, so a start racing this one finds it as soon as the name is ours.
    bus_.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots);
    if (bus_.registerService(kService)) {
        return true;
    }
    bus_.unregisterObject(kPath);
    // When the owner cannot be reached, a window of this start's own beats none at all.
    // Waiting with the event loop running, so the owner may also be this very thread.
    const QDBusMessage reply =
        bus_.call(QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("activate")),
                  QDBus::BlockWithGui);
    return reply.type() == QDBusMessage::ErrorMessage;
}

void SingleInstance::activate() { emit activated(); }

} // namespace korvel::ui
