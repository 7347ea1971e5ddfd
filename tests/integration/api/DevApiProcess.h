#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace korvel::api {

// korvel-devapi on a free loopback port for the length of a test.
class DevApiProcess {
public:
    // Starts the server and waits until it listens; url() stays empty when it did not.
    explicit DevApiProcess(const QStringList& arguments);
    ~DevApiProcess();
    DevApiProcess(const DevApiProcess&) = delete;
    DevApiProcess& operator=(const DevApiProcess&) = delete;

    // The API base, e.g. "http://127.0.0.1:40123/api/v1/".
    const QString& url() const { return url_; }
    QString errors() { return QString::fromUtf8(process_.readAllStandardError()); }

private:
    QProcess process_;
    QString url_;
};

} // namespace korvel::api
