#pragma once

#include <QObject>

class QWidget;

namespace korvel::bench {

// Waits for the first paint of a top-level window, lets the paint reach the screen, then prints the
// milliseconds since a wall-clock moment the caller gives (the moment the program was launched) and
// ends the application.
class FirstFrame : public QObject {
    Q_OBJECT

public:
    // launchedAt: seconds since the epoch, as bash's $EPOCHREALTIME gives them.
    FirstFrame(QWidget& window, double launchedAt);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report() const;

    QWidget& window_;
    double launchedAt_;
    bool painted_ = false;
};

} // namespace korvel::bench
