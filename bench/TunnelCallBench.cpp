// korvel-bench-tunnel-call: how late a 10 ms timer on the caller's event loop runs while a tunnel call
// waits a second for the daemon's tool. Starts korvel-test-tunneld admitting this program, with a
// wg-quick that only sleeps; needs root, as admission does. Prints one row of the benchmark table.
#include "ApiError.h"
#include "TestDaemonProcess.h"
#include "TunnelController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 5;
constexpr double kGoalMilliseconds = 500;

// A refused call ends the measure as well as a successful one.
QCoro::Task<> ended(QCoro::Task<> call) {
    try {
        co_await std::move(call);
    } catch (const korvel::api::ApiError&) {
    }
}

// The timer's worst lateness during one connect, in milliseconds.
qint64 lateness(korvel::tunnel::TunnelController& tunnel) {
    QEventLoop loop;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worst = std::max(worst, clock.elapsed() - last - 10);
        last = clock.elapsed();
    });
    clock.start();
    ticker.start(10);
    QCoro::Task<> call =
        tunnel.connect(QStringLiteral("[Interface]\nMTU = 1420\n[Peer]\nEndpoint = 10.0.0.1:51820\n"));
    QCoro::connect(ended(std::move(call)), &loop, [&] { loop.quit(); });
    loop.exec();
    return std::max(worst, clock.elapsed() - last - 10);
}

} // namespace

int main(int argc, char* argv[]) {
    const char* measure = "Event loop's longest stall while a tunnel call waits a second";
    if (::geteuid() != 0) {
        std::printf("| %s | skipped: needs root (the daemon admits only root's programs) | | | | |\n",
                    measure);
        return 0;
    }
    QCoreApplication application(argc, argv);
    char pattern[] = "/tmp/korvel-bench-tunnel-call-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    fs::create_directory(work / "tools");
    fs::create_symlink("/bin/bash", work / "tools/bash");
    std::ofstream(work / "tools/wg-quick") << "#!/bin/bash\nsleep 1\n";
    fs::permissions(work / "tools/wg-quick", fs::perms(0755));
    std::ofstream(work / "installed");
    std::vector<qint64> worst;
    {
        const TestDaemonProcess daemon(work);
        korvel::tunnel::TunnelController tunnel(QString::fromStdString(work / "installed"),
                                                QString::fromStdString(daemon.socketPath()),
                                                QString::fromStdString(work / "markers"));
        for (int round = 0; round < kRounds; ++round) {
            worst.push_back(lateness(tunnel));
        }
    }
    fs::remove_all(work);
    std::sort(worst.begin(), worst.end());
    const qint64 median = worst[worst.size() / 2];
    std::printf("| %s | %lld ms | worst of %d calls %lld ms |  | ≤ %.0f ms | %s |\n", measure,
                static_cast<long long>(median), kRounds, static_cast<long long>(worst.back()),
                kGoalMilliseconds, static_cast<double>(median) <= kGoalMilliseconds ? "yes" : "**no**");
    return 0;
}
