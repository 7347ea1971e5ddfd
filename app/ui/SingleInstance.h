#pragma once

#include <QDBusConnection>
#include <QObject>

namespace korvel::ui {

// One window per user session: the first start owns a name on the session bus, and a later start asks
// that one to show its window, then ends. Without a session bus every start keeps its own window.
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.korvel.Korvel")

public:
    explicit SingleInstance(QDBusConnection bus, QObject* parent = nullptr);

    // True when this process is to show the window; false when the one already running showed its own.
    bool claim();

public slots:
    Q_SCRIPTABLE void activate();

signals:
    // Another start asked for the window.
    void activated();

private:
    QDBusConnection bus_;
};

} // namespace korvel::ui
