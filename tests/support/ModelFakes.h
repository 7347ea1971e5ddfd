#pragma once

// Fakes for the application model's collaborators, and a rig that builds a model over them and a stub
// of the web API.
#include "ApiStub.h"
#include "AppModel.h"

#include "ApiError.h"
#include "SettingsPreferences.h"
#include "TemporaryDirectory.h"

#include <QCoroTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

namespace korvel::test {

using namespace std::chrono_literals;
using Log = std::vector<std::string>;

inline api::ServerLocation location(const char* host) {
    return {host, host + QStringLiteral(" City"), "DE", "online", "low"};
}

class Tokens final : public api::TokenStore {
public:
    explicit Tokens(Log& log) : log_(log) {}
    QCoro::Task<std::optional<QString>> save(QString token) override {
        log_.push_back("save");
        stored = notStored ? stored : token;
        co_return std::optional<QString>(notStored); // GCC 12 would move from a member named here
    }
    QCoro::Task<std::optional<QString>> load() override { co_return std::optional<QString>(stored); }
    QCoro::Task<> remove() override {
        log_.push_back("remove");
        stored.reset();
        co_return;
    }
    std::optional<QString> stored;
    std::optional<QString> notStored; // why every save fails

private:
    Log& log_;
};

class LoginItem final : public platform::LoginItem {
public:
    Status status() const override { return enabled ? Status::enabled : otherwise; }
    bool registerItem() override { return calls.push_back("register"), enabled = succeeds; }
    bool unregisterItem() override {
        calls.push_back("unregister");
        otherwise = succeeds ? Status::notRegistered : otherwise;
        return !(enabled = !succeeds && enabled);
    }
    bool enabled = false, succeeds = true;
    Status otherwise = Status::notRegistered; // when not enabled
    Log calls;
};

class Desktop final : public platform::Desktop {
public:
    QString computerName() const override {
        return std::exchange(naming, [] {})(), name;
    }
    std::optional<QString> resourcesFolder() const override { return resources; }
    void openUrl(const QUrl& url) override { opened.push_back(url.toString().toStdString()); }
    void startDetached(const QString& program) override { opened.push_back(program.toStdString()); }
    QString name = QStringLiteral("Desk");
    std::optional<QString> resources;
    Log opened;
    mutable std::function<void()> naming = [] {}; // runs once, inside the next call for the name
};

// Every call ends in a later turn of the event loop, after `delay`.
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
    bool held = false;              // a call does not end while set
    std::optional<QString> failure; // "!" throws something that is not an ApiError
    std::chrono::milliseconds delay{0};

private:
    QCoro::Task<> end() {
        co_await QCoro::sleepFor(delay);
        while (held) {
            co_await QCoro::sleepFor(5ms);
        }
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
        options.tunnel = std::make_unique<Tunnel>(log);
        tunnel = static_cast<Tunnel*>(options.tunnel.get());
        options.serviceDefinitionPath = QString::fromStdString(dir / "korvel-tunneld.socket");
        options.stateMonitorInterval = stateInterval;
        options.sessionTimerInterval = 10ms;
        options.sessionClock = [this, own = options.sessionClock] { return clock ? *clock : own(); };
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
    std::chrono::milliseconds stateInterval = 1h;
    std::optional<std::chrono::nanoseconds> clock; // the session time's; none: the model's own
    Tunnel* tunnel = nullptr;
    std::unique_ptr<model::AppModel> model;
};

} // namespace korvel::test
