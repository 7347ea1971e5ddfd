// korvel-bench-body-limit: what an endless response body costs the application before it is abandoned.
// For each framing (with a length it never reaches, chunked, chunked and gzipped) the API client asks a
// loopback stub that sends letters as fast as the client takes them, while the main thread stands still
// for a second once the body flows; the figures are the process's peak resident growth and what the
// server sent, the medians of the rounds. A last row is the longest the main thread's event loop went
// without running while such a body was refused and the main thread was free. Prints rows of the
// benchmark table.
#include "ApiClient.h"
#include "ApiError.h"
#include "ApiStub.h"
#include "PeakResident.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace korvel;
using Endless = test::ApiStub::Endless;

constexpr double kGoalMiB = 32;
constexpr double kGoalGapMilliseconds = 500;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Runs the operation to its end on the event loop.
void run(QCoro::Task<QString> task) {
    QEventLoop loop;
    QCoro::connect(std::move(task), &loop, [&](const QString&) { loop.quit(); });
    loop.exec();
}

QCoro::Task<QString> configuration(api::ApiClient& client) {
    try {
        co_return co_await client.wireGuardConfig(1, std::nullopt);
    } catch (const api::ApiError& error) {
        co_return error.message();
    }
}

struct Measure {
    double grownMiB;
    double sentMiB;
    double longestGapMilliseconds;
};

Measure measure(Endless framing, bool busy) {
    test::ApiStub server;
    server.serveEndless("POST vpn/configs/wireguard", framing);
    api::ApiClient client(server.baseUrl(), {});
    test::resetPeakResident();
    const qint64 before = test::peakResidentKiB();
    QTimer watch;
    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
        if (busy && server.endlessBytesSent() > 0) {
            busy = false;
            QElapsedTimer still;
            still.start();
            while (still.elapsed() < 1000) {
                std::this_thread::yield();
            }
        }
    });
    clock.start();
    watch.start(1);
    run(configuration(client));
    longestGap = std::max(longestGap, clock.elapsed() - lastTick);
    return {static_cast<double>(test::peakResidentKiB() - before) / 1024,
            static_cast<double>(server.endlessBytesSent()) / (1024 * 1024), static_cast<double>(longestGap)};
}

void row(const char* measure, double value, const char* unit, const QString& reference, double goal) {
    std::printf("| %s | %.1f %s | %s |  | ≤ %.0f %s | %s |\n", measure, value, unit,
                reference.toUtf8().constData(), goal, unit, value <= goal ? "yes" : "**no**");
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int rounds = std::max(1, argc > 1 ? std::atoi(argv[1]) : 5);
    measure(Endless::chunked, false); // threads, buffers and the allocator's arenas come to stay
    const struct {
        Endless framing;
        const char* name;
    } framings[] = {{Endless::chunked, "Peak growth for an endless chunked body"},
                    {Endless::gzip, "Peak growth for an endless gzip body"},
                    {Endless::withLength, "Peak growth for an endless body with a length"}};
    for (const auto& [framing, name] : framings) {
        std::vector<double> grown;
        std::vector<double> sent;
        for (int round = 0; round < rounds; ++round) {
            const Measure m = measure(framing, true);
            grown.push_back(m.grownMiB);
            sent.push_back(m.sentMiB);
        }
        row(name, median(grown), "MiB",
            QStringLiteral("server sent %1 MiB; worst growth %2 MiB")
                .arg(median(sent), 0, 'f', 1)
                .arg(*std::max_element(grown.begin(), grown.end()), 0, 'f', 1),
            kGoalMiB);
    }
    std::vector<double> gaps;
    for (int round = 0; round < rounds; ++round) {
        gaps.push_back(measure(Endless::chunked, false).longestGapMilliseconds);
    }
    row("Event loop's longest stall while an endless body is refused", median(gaps), "ms",
        QStringLiteral("worst %1 ms").arg(*std::max_element(gaps.begin(), gaps.end())), kGoalGapMilliseconds);
    return 0;
}
