#pragma once

#include "TemporaryDirectory.h"

#include <QProcess>
#include <QString>

#include <string>

namespace korvel::test {

// The real tunnel daemon (korvel-test-tunneld) on a temporary socket, with a tools folder whose
// wg-quick the test writes, admitting only `client`.
class TestDaemon {
public:
    explicit TestDaemon(const std::string& client);
    ~TestDaemon();
    TestDaemon(const TestDaemon&) = delete;
    TestDaemon& operator=(const TestDaemon&) = delete;

    // Installs a wg-quick made of `body`; `$log` and `$go` in it name files in the temporary folder.
    void tool(const std::string& body) const;
    // Ends the daemon at once, as a crash would.
    void kill();

    QString socketPath() const { return QString::fromStdString(directory / "socket"); }
    std::string log() const;

    TemporaryDirectory directory;

private:
    QProcess process_;
};

} // namespace korvel::test
