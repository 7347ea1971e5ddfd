#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

namespace korvel::platform {

// Notices through the desktop's notification service (org.freedesktop.Notifications). Each notice takes
// the place of the one before it, so Korvel shows one at a time. Without a session bus or a service,
// nothing is shown and nothing fails.
class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    explicit DesktopNotifications(QDBusConnection bus, QObject* parent = nullptr);

    // actions: each action's key followed by its label.
    void show(const QString& summary, const QString& body = {}, const QStringList& actions = {});

signals:
    // The person chose an action of the latest notice.
    void actionInvoked(const QString& key);

private slots:
    void onActionInvoked(uint id, const QString& key);

private:
    QDBusConnection bus_;
    // The service's number for the latest notice; 0 before the first.
    uint latest_ = 0;
};

} // namespace korvel::platform
