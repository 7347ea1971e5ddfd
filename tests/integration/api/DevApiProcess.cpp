#include "DevApiProcess.h"

#include <QDeadlineTimer>

namespace korvel::api {

DevApiProcess::DevApiProcess(const QStringList& arguments) {
    process_.start(QStringLiteral(KORVEL_DEVAPI),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    const QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!deadline.hasExpired() && !output.contains('\n') && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        output += process_.readAllStandardOutput();
    }
    const QByteArray prefix = "Listening on ";
    if (output.startsWith(prefix) && output.contains('\n')) {
        url_ = QString::fromUtf8(output.mid(prefix.size(), output.indexOf('\n') - prefix.size()));
    }
}

DevApiProcess::~DevApiProcess() {
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

} // namespace korvel::api
