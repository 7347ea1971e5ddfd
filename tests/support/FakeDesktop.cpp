// Stands in for the desktop around a test, on the session bus:
//   korvel-test-desktop [--watcher] [--notifications]
// --watcher owns org.kde.StatusNotifierWatcher, as a panel that hosts StatusNotifierItems does;
// --notifications owns org.freedesktop.Notifications. Prints "ready" once it owns them, then a line for
// every call:
//   item SERVICE                          an item registered
//   notify SUMMARY|BODY|KEY,LABEL,...      a notice shown
// and takes commands, one a line, on standard input:
//   invoke KEY                            the person chose an action of the latest notice
// Runs until it is stopped.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QSocketNotifier>
#include <QStringList>
#include <QVariantMap>

#include <iostream>
#include <unistd.h>

namespace {

void say(const QString& line) { std::cout << line.toStdString() << std::endl; }

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems MEMBER items_)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        items_.append(service);
        say(QStringLiteral("item ") + service);
        emit StatusNotifierItemRegistered(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierItemUnregistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QStringList items_;
};

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public slots:
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        const uint id = replaces != 0 ? replaces : ++last_;
        say(QStringLiteral("notify %1|%2|%3").arg(summary, body, actions.join(u',')));
        return latest = id;
    }

signals:
    void ActionInvoked(uint id, const QString& key);

public:
    uint last_ = 0, latest = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                          QDBusConnection::ExportAllProperties;
    Watcher watcher;
    Notifications notifications;
    if (arguments.contains(QStringLiteral("--watcher")) &&
        !(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher, exported) &&
          bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")))) {
        return 1;
    }
    if (arguments.contains(QStringLiteral("--notifications")) &&
        !(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications, exported) &&
          bus.registerService(QStringLiteral("org.freedesktop.Notifications")))) {
        return 1;
    }

    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        const QByteArray line = in.readLine();
        input.setEnabled(!line.isEmpty()); // empty only at the end of the input
        const QStringList words = QString::fromUtf8(line).trimmed().split(u' ');
        if (words.size() == 2 && words[0] == QStringLiteral("invoke")) {
            emit notifications.ActionInvoked(notifications.latest, words[1]);
        }
    });
    say(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

#include "FakeDesktop.moc"
