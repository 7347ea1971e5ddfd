#pragma once

// The web API on the loopback, as a healthy account sees it, with a test's answers in place of some.
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTcpServer>

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>
#include <zlib.h>

namespace korvel::test {

using Answers = std::map<std::string, std::pair<int, std::string>>; // "GET account" → status, body

inline std::string data(const std::string& json) { return R"({"data":)" + json + "}"; }
inline std::string device(int id, const std::string& name) {
    return R"({"id":)" + std::to_string(id) + R"(,"name":")" + name +
           R"(","platform":"linux","protocol":"wg"})";
}
inline std::string server(const std::string& host, const std::string& status = "online") {
    return R"({"hostname":")" + host + R"(","location":")" + host +
           R"( City","country_code":"DE","status":")" + status + R"(","load":"low"})";
}
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
inline QString baseOn(int port) { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port); }

class ApiStub {
public:
    // How an endless body arrives: with a length it never reaches, or chunked, as it is or gzipped.
    enum class Endless { withLength, chunked, gzip };
    // What an endless body sends at most, so a test that fails to stop it still ends.
    static constexpr std::int64_t kEndlessBytes = 1024LL * 1024 * 1024;

    explicit ApiStub(int port = 0, const Answers& answers = {}) {
        serve(answers);
        const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(mutex_);
            const std::string route = request.method + " " + request.path.substr(std::strlen("/api/v1/"));
            requests.push_back({route, request.body, request.get_header_value("Authorization")});
            if (endless_ && endless_->first == route) {
                answerEndlessly(response, endless_->second);
                return;
            }
            const auto [status, body] =
                answers_.contains(route) ? answers_[route] : std::pair<int, std::string>(404, "{}");
            response.status = status;
            response.set_content(body, "application/json");
        };
        server_.Get(".*", handle);
        server_.Post(".*", handle);
        port_ = port == 0 ? server_.bind_to_any_port("127.0.0.1") : port;
        EXPECT_TRUE(port == 0 || server_.bind_to_port("127.0.0.1", port));
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~ApiStub() {
        while (!server_.is_running()) { // a stop before listening would be lost
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    void serve(const Answers& answers) {
        const std::lock_guard lock(mutex_);
        answers_ = {{"POST auth/token", {200, data(R"({"token":"t1","id":1,"name":"n"})")}},
                    {"GET account", {200, data(R"({"email":"me@korvel.example"})")}},
                    {"GET devices", {200, data("[" + device(7, "Linux (Desk)") + "]")}},
                    {"POST devices", {200, data(device(9, "new"))}},
                    {"GET servers", {200, data("[" + server("fra") + "," + server("ams") + "]")}},
                    {"POST vpn/configs/wireguard", {200, data(R"({"config":"[Interface]"})")}}};
        for (const auto& [route, answer] : answers) {
            answers_[route] = answer;
        }
    }
    // From now on the route is answered with an endless body of letters.
    void serveEndless(const std::string& route, Endless framing) {
        const std::lock_guard lock(mutex_);
        endless_ = {route, framing};
    }
    // Body bytes of endless bodies handed to the connection so far, before any compression.
    std::int64_t endlessBytesSent() const { return endlessBytesSent_; }
    // The body of the last request on the route.
    QJsonObject body(const std::string& route) {
        const std::lock_guard lock(mutex_);
        QJsonObject last;
        for (const auto& [r, body, authorization] : requests) {
            last = r == route ? QJsonDocument::fromJson(QByteArray::fromStdString(body)).object() : last;
        }
        return last;
    }
    QString baseUrl() const { return baseOn(port_); }
    std::vector<std::tuple<std::string, std::string, std::string>> requests; // route, body, authorization

private:
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

    void answerEndlessly(httplib::Response& response, Endless framing) {
        auto letters = std::make_shared<Letters>();
        const auto write = [this, letters, framing](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= static_cast<std::size_t>(kEndlessBytes)) {
                return false;
            }
            const std::string& text = letters->next();
            const std::string& sent = framing == Endless::gzip ? letters->gzipped(text) : text;
            if (!sink.write(sent.data(), sent.size())) {
                return false;
            }
            endlessBytesSent_ += static_cast<std::int64_t>(text.size());
            return true;
        };
        // A type httplib leaves uncompressed; the client reads the body whatever its type says.
        const char* type = "application/octet-stream";
        if (framing == Endless::gzip) {
            response.set_header("Content-Encoding", "gzip");
        }
        if (framing == Endless::withLength) {
            response.set_content_provider(static_cast<std::size_t>(kEndlessBytes), type,
                                          [write](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                              return write(offset, sink);
                                          });
            return;
        }
        response.set_chunked_content_provider(type, write);
    }

    std::mutex mutex_;
    Answers answers_;
    std::optional<std::pair<std::string, Endless>> endless_;
    std::atomic<std::int64_t> endlessBytesSent_{0};
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

} // namespace korvel::test
