// Stands in for the desktop around a test, on the session bus:
// it owns org.kde.StatusNotifierWatcher, as a panel that hosts StatusNotifierItems does, and
// org.freedesktop.Notifications. Prints "ready" once it owns them, then a line for every call:
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
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host_)
    Q_PROPERTY(int ProtocolVersion MEMBER version_)

public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        items_.append(service);
        say(QStringLiteral("item ") + service);
        emit StatusNotifierItemRegistered(service);
    }

signals:
    void StatusNotifierItemRegistered(const QString& service);

private:
    QStringList items_;
    bool host_ = true;
    int version_ = 0;
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
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher;
    Notifications notifications;
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllContents) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                            QDBusConnection::ExportAllContents) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
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
