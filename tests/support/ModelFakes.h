#pragma once

// Fakes for the application model's collaborators, a stub of the web API on the loopback, and a rig
// that builds a model over them.
#include "AppModel.h"

#include "ApiError.h"
#include "SettingsPreferences.h"
#include "TemporaryDirectory.h"

#include <QCoroTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTimer>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace korvel::test {

using namespace std::chrono_literals;
using Log = std::vector<std::string>;
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
inline api::ServerLocation location(const char* host) {
    return {host, host + QStringLiteral(" City"), QStringLiteral("DE"), QStringLiteral("online"),
            QStringLiteral("low")};
}
inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
inline QString baseOn(int port) { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(port); }

// The web API as a healthy account sees it, with the test's answers in place of some.
class ApiStub {
public:
    explicit ApiStub(int port = 0, const Answers& answers = {}) {
        serve(answers);
        const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
            const std::lock_guard lock(mutex_);
            const std::string route = request.method + " " + request.path.substr(std::strlen("/api/v1/"));
            requests.push_back({route, request.body, request.get_header_value("Authorization")});
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
    std::mutex mutex_;
    Answers answers_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
};

class Tokens final : public api::TokenStore {
public:
    explicit Tokens(Log& log) : log_(log) {}
    void save(const QString& token) override { log_.push_back("save"), stored = token; }
    std::optional<QString> load() override { return stored; }
    void remove() override { log_.push_back("remove"), stored.reset(); }
    std::optional<QString> stored;

private:
    Log& log_;
};

class LoginItem final : public platform::LoginItem {
public:
    bool isEnabled() const override { return enabled; }
    bool registerItem() override { return calls.push_back("register"), enabled = succeeds; }
    bool unregisterItem() override { return calls.push_back("unregister"), !(enabled = !succeeds); }
    bool enabled = false, succeeds = true;
    Log calls;
};

class Desktop final : public platform::Desktop {
public:
    QString computerName() const override { return name; }
    std::optional<QString> resourcesFolder() const override { return resources; }
    void openUrl(const QUrl& url) override { opened.push_back(url.toString().toStdString()); }
    void startDetached(const QString& program) override { opened.push_back(program.toStdString()); }
    QString name = QStringLiteral("Desk");
    std::optional<QString> resources;
    Log opened;
};

class Tunnel final : public tunnel::TunnelController {
public:
    explicit Tunnel(Log& log) : log_(log) {}
    QCoro::Task<> connect(QString config) override {
        log_.push_back("connect " + config.toStdString());
        co_await end();
        up = bringsUp;
    }
    QCoro::Task<> disconnect() override {
        log_.push_back("disconnect");
        co_await end();
        up = false;
    }
    bool isUp() const override { return up; }
    bool up = false, bringsUp = true;
    std::optional<QString> failure; // "!" throws something that is not an ApiError
    std::chrono::milliseconds delay{0};

private:
    QCoro::Task<> end() {
        co_await QCoro::sleepFor(delay);
        if (failure == QStringLiteral("!")) {
            throw std::runtime_error("broken");
        }
        if (failure) {
            throw api::ApiError(*failure);
        }
    }
    Log& log_;
};

// Runs the event loop until the task ends; false when it did not within the limit.
inline bool finish(QCoro::Task<> task) {
    QEventLoop loop;
    bool done = false;
    QCoro::connect(std::move(task), &loop, [&] { done = true, loop.quit(); });
    if (!done) {
        QTimer::singleShot(10s, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done;
}

// A model over the fakes and an ApiStub, with its preferences in a fresh folder.
struct ModelRig {
    ModelRig() { std::ofstream(dir / "korvel-tunneld.socket"); }
    model::AppModel& start(std::optional<QString> base = std::nullopt) {
        model::AppModelOptions options;
        options.apiBaseUrl = base.value_or(api->baseUrl());
        auto fake = std::make_unique<Tunnel>(log);
        tunnel = fake.get();
        tunnel->up = upAtStart;
        options.tunnel = std::move(fake);
        options.serviceDefinitionPath = QString::fromStdString(dir / "korvel-tunneld.socket");
        options.stateMonitorInterval = stateInterval;
        options.sessionTimerInterval = 10ms;
        options.firstRestoreRetry = 50ms;
        options.restoreRetryLimit = 100ms;
        model.reset(); // first: the old model writes preferences the new one reads
        model =
            std::make_unique<model::AppModel>(tokens, preferences, loginItem, desktop, std::move(options));
        return *model;
    }
    bool signIn(const QString& email = QStringLiteral("me@k"),
                const QString& password = QStringLiteral("pw")) {
        model->setEmail(email);
        model->setPassword(password);
        return finish(model->login()) && model->isSignedIn();
    }

    Log log;
    TemporaryDirectory dir;
    std::unique_ptr<ApiStub> api = std::make_unique<ApiStub>();
    platform::SettingsPreferences preferences{QString::fromStdString(dir / "korvel.conf")};
    Tokens tokens{log};
    LoginItem loginItem;
    Desktop desktop;
    bool upAtStart = false;
    std::chrono::milliseconds stateInterval = 1h;
    Tunnel* tunnel = nullptr;
    std::unique_ptr<model::AppModel> model;
};

} // namespace korvel::test
