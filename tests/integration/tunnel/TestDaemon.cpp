#include "TestDaemon.h"

#include <QThread>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace korvel::test {

TestDaemon::TestDaemon(const std::string& client) {
    fs::create_directory(directory.path() / "tools");
    fs::create_symlink("/bin/bash", directory.path() / "tools/bash");
    tool("exit 0");
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(KORVEL_TEST_TUNNELD),
                   {QStringLiteral("--socket"), socketPath(), QStringLiteral("--state-dir"),
                    QString::fromStdString(directory / "state"), QStringLiteral("--tools-dir"),
                    QString::fromStdString(directory / "tools"), QStringLiteral("--client"),
                    QString::fromStdString(client)});
    for (int i = 0; i < 1000 && !fs::exists(directory.path() / "socket"); ++i) {
        if (process_.state() == QProcess::NotRunning) {
            break;
        }
        QThread::msleep(10);
    }
    if (!fs::exists(directory.path() / "socket")) {
        throw std::runtime_error("korvel-test-tunneld did not start");
    }
}

TestDaemon::~TestDaemon() {
    process_.terminate();
    process_.waitForFinished();
}

void TestDaemon::tool(const std::string& body) const {
    const fs::path path = directory.path() / "tools/wg-quick";
    std::ofstream(path) << "#!/bin/bash\nlog=" << directory / "log"
                        << "\ngo=" << directory / "go"
                        << "\n"
                        << body << "\n";
    fs::permissions(path, fs::perms(0755));
}

void TestDaemon::kill() {
    process_.kill();
    process_.waitForFinished();
}

std::string TestDaemon::log() const {
    std::ifstream in(directory.path() / "log", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace korvel::test
