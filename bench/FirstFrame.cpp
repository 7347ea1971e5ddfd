#include "FirstFrame.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace korvel::bench {

FirstFrame::FirstFrame(QWidget& window, double launchedAt) : window_(window), launchedAt_(launchedAt) {
    window_.installEventFilter(this);
}

bool FirstFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &window_ && event->type() == QEvent::Paint && !painted_) {
        painted_ = true;
        // Queued: the children paint and the backing store is flushed before it runs.
        QMetaObject::invokeMethod(this, &FirstFrame::report, Qt::QueuedConnection);
    }
    return false;
}

void FirstFrame::report() const {
    const std::chrono::duration<double> now = std::chrono::system_clock::now().time_since_epoch();
    std::printf("%.3f\n", (now.count() - launchedAt_) * 1000);
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

} // namespace korvel::bench
