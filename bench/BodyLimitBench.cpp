// korvel-bench-body-limit: what an endless response body costs the application before it is abandoned.
// For each framing (with a length it never reaches, chunked, chunked and gzipped) the API client asks a
// loopback stub that sends letters as fast as the client takes them, while the main thread stands still
// for a second once the body flows; the figures are the process's peak resident growth and what the
// server sent, the medians of the rounds. A last row is the longest the main thread's event loop went
// without running while such a body was refused and the main thread was free. Prints rows of the
// benchmark table.
#include "ApiClient.h"
#include "ApiError.h"
#include "PeakResident.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <httplib.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvel;

// How an endless body arrives: with a length it never reaches, or chunked, as it is or gzipped.
enum class Endless { withLength, chunked, gzip };

// Letters that never repeat, so they compress about as well as text does in any window.
struct Letters {
    Letters() { deflateInit2(&gzip, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY); }
    ~Letters() { deflateEnd(&gzip); }
    Letters(const Letters&) = delete;
    Letters& operator=(const Letters&) = delete;
    const std::string& next() {
        for (char& c : piece) {
            c = static_cast<char>('a' + random() % 26);
        }
        return piece;
    }
    const std::string& gzipped(const std::string& text) {
        compressed.resize(text.size() + 1024);
        gzip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        gzip.avail_in = static_cast<uInt>(text.size());
        gzip.next_out = reinterpret_cast<Bytef*>(compressed.data());
        gzip.avail_out = static_cast<uInt>(compressed.size());
        deflate(&gzip, Z_NO_FLUSH);
        compressed.resize(compressed.size() - gzip.avail_out);
        return compressed;
    }
    std::minstd_rand random{1};
    std::string piece = std::string(64 * 1024, 'a');
    z_stream gzip{};
    std::string compressed;
};

// The API on the loopback, on a thread of its own so it outpaces a main thread that stands still: every
// request is answered with an endless body of letters, at most a gibibyte so a client that fails to stop
// it still ends.
class EndlessServer {
public:
    explicit EndlessServer(Endless framing) {
        server_.Post(".*", [this, framing](const httplib::Request&, httplib::Response& response) {
            auto letters = std::make_shared<Letters>();
            const auto write = [this, letters, framing](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= kLimit) {
                    return false;
                }
                const std::string& text = letters->next();
                const std::string& sent = framing == Endless::gzip ? letters->gzipped(text) : text;
                if (!sink.write(sent.data(), sent.size())) {
                    return false;
                }
                sent_ += static_cast<std::int64_t>(text.size());
                return true;
            };
            // A type httplib leaves uncompressed; the client reads the body whatever its type says.
            const char* type = "application/octet-stream";
            if (framing == Endless::gzip) {
                response.set_header("Content-Encoding", "gzip");
            }
            if (framing == Endless::withLength) {
                response.set_content_provider(
                    kLimit, type, [write](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                        return write(offset, sink);
                    });
            } else {
                response.set_chunked_content_provider(type, write);
            }
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~EndlessServer() {
        while (!server_.is_running()) { // a stop before listening would be lost
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    EndlessServer(const EndlessServer&) = delete;
    EndlessServer& operator=(const EndlessServer&) = delete;
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port_); }
    // Body bytes handed to the connection so far, before any compression.
    std::int64_t endlessBytesSent() const { return sent_; }

private:
    static constexpr std::size_t kLimit = 1024ULL * 1024 * 1024;
    std::atomic<std::int64_t> sent_{0};
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

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
    EndlessServer server(framing);
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
