#pragma once

// The process's peak resident memory, as the kernel counts it, for benchmarks that bound it.
#include <QFile>

namespace korvel::test {

// Since the last reset, in KiB; -1 when it cannot be read.
inline qint64 peakResidentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
            }
        }
    }
    return -1;
}

// Starts the peak again from what the process holds now; false when the kernel refused.
inline bool resetPeakResident() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace korvel::test
