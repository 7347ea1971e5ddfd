// korvel-connect-timing: click to connected. The model's toggle() against a running API server and
// tunnel daemon, from the call to the state connected, against what it cannot do without: one
// configuration request of the same API client plus the WireGuard tools bringing that configuration
// up directly, run as the daemon runs them. Rounds alternate which goes first; each ends with the
// tunnel down again. Prints the medians as "NAME MILLISECONDS" lines.
#include "ApiClient.h"
#include "AppModel.h"
#include "ModelFakes.h"
#include "SettingsPreferences.h"
#include "TunnelController.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <vector>

namespace {

using namespace korvel;

struct Settings {
    QString api;
    QString socket;
    QString markers;
    QString tools;
    QString work;
    QString email;
    QString password;
    int rounds = 10;
};

double milliseconds(const QElapsedTimer& clock) { return static_cast<double>(clock.nsecsElapsed()) / 1e6; }

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

QCoro::Task<> fetchConfig(api::ApiClient& client, qint64 device, std::optional<QString> hostname,
                          std::optional<QString>& config) {
    try {
        config = co_await client.wireGuardConfig(device, std::move(hostname));
    } catch (...) {
        config.reset();
    }
}

// The toggle from its call to the state connected; the tunnel is taken down again afterwards.
double clickToConnected(model::AppModel& model) {
    QElapsedTimer clock;
    std::optional<double> connectedAt;
    const auto watch = QObject::connect(&model, &model::AppModel::stateChanged, [&] {
        if (!connectedAt && model.state().kind() == tunnel::TunnelState::Kind::connected) {
            connectedAt = milliseconds(clock);
        }
    });
    clock.start();
    const bool ended = test::finish(model.toggle());
    QObject::disconnect(watch);
    if (!ended || !connectedAt) {
        throw std::runtime_error("the model did not connect: " + model.state().message().toStdString());
    }
    if (!test::finish(model.toggle()) || model.state().kind() != tunnel::TunnelState::Kind::disconnected) {
        throw std::runtime_error("the model did not disconnect");
    }
    return *connectedAt;
}

// The tools exactly as the daemon runs them: bash from the tools folder, a fixed environment.
double runTools(const Settings& settings, const QString& operation, const QString& file) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"),
                       settings.tools + QStringLiteral(":/usr/bin:/bin:/usr/sbin:/sbin"));
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/root"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    QProcess tools;
    tools.setProcessEnvironment(environment);
    tools.setStandardInputFile(QProcess::nullDevice());
    tools.setStandardOutputFile(QProcess::nullDevice());
    tools.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    tools.start(settings.tools + QStringLiteral("/bash"),
                {settings.tools + QStringLiteral("/wg-quick"), operation, file});
    if (!tools.waitForFinished(-1) || tools.exitStatus() != QProcess::NormalExit || tools.exitCode() != 0) {
        throw std::runtime_error("wg-quick " + operation.toStdString() + " failed when run directly");
    }
    return milliseconds(clock);
}

struct Direct {
    double request;
    double up;
};

Direct direct(const Settings& settings, api::ApiClient& client, const model::AppModel& model) {
    QElapsedTimer clock;
    std::optional<QString> config;
    clock.start();
    const std::optional<QString> hostname =
        model.selectedLocation() ? std::optional(model.selectedLocation()->hostname) : std::nullopt;
    if (!test::finish(fetchConfig(client, model.device()->id, hostname, config)) || !config) {
        throw std::runtime_error("the configuration request failed");
    }
    const double request = milliseconds(clock);
    // Named like the daemon's file: wg-quick takes the interface name from it.
    const QString file = settings.work + QStringLiteral("/korvel.conf");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(config->toUtf8()) < 0) {
        throw std::runtime_error("cannot write the configuration file");
    }
    out.close();
    const double up = runTools(settings, QStringLiteral("up"), file);
    runTools(settings, QStringLiteral("down"), file);
    return {request, up};
}

Settings parse(const QCoreApplication& application) {
    QCommandLineParser parser;
    const std::map<QString, QString> names{{"api", "API base URL"},
                                           {"socket", "daemon socket"},
                                           {"markers", "folder of the interface marker"},
                                           {"tools", "tools folder as the daemon's"},
                                           {"work", "folder of its own"},
                                           {"email", "account"},
                                           {"password", "password"},
                                           {"rounds", "rounds"}};
    for (const auto& [name, description] : names) {
        parser.addOption({name, description, name});
    }
    parser.process(application);
    for (const auto& [name, description] : names) {
        if (!parser.isSet(name)) {
            throw std::runtime_error("--" + name.toStdString() + " is required");
        }
    }
    return {parser.value("api"),      parser.value("socket"),        parser.value("markers"),
            parser.value("tools"),    parser.value("work"),          parser.value("email"),
            parser.value("password"), parser.value("rounds").toInt()};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    try {
        const Settings settings = parse(application);
        if (settings.rounds < 1) {
            throw std::runtime_error("--rounds must be at least 1");
        }
        const QString definition = settings.work + QStringLiteral("/korvel-tunneld.socket");
        QFile(definition).open(QIODevice::WriteOnly);

        test::Log log;
        test::Tokens tokens{log};
        test::LoginItem loginItem;
        test::Desktop desktop;
        platform::SettingsPreferences preferences(settings.work + QStringLiteral("/korvel.ini"));
        model::AppModelOptions options;
        options.apiBaseUrl = settings.api;
        options.tunnel =
            std::make_unique<tunnel::TunnelController>(definition, settings.socket, settings.markers);
        options.serviceDefinitionPath = definition;
        model::AppModel model(tokens, preferences, loginItem, desktop, std::move(options));
        model.setEmail(settings.email);
        model.setPassword(settings.password);
        if (!test::finish(model.login()) || !model.isSignedIn() || !model.device() || !tokens.stored) {
            throw std::runtime_error("sign-in failed: " +
                                     model.authError().value_or(QString()).toStdString());
        }
        api::ApiClient client(settings.api);
        client.setToken(tokens.stored);

        std::vector<double> toggles;
        std::vector<double> requests;
        std::vector<double> ups;
        std::vector<double> references;
        for (int round = 0; round <= settings.rounds; ++round) {
            // Which goes first alternates, so drift in the machine's load falls on both alike.
            double toggle = 0;
            Direct reference{};
            for (const bool modelFirst : {round % 2 == 0, round % 2 != 0}) {
                if (modelFirst) {
                    toggle = clickToConnected(model);
                } else {
                    reference = direct(settings, client, model);
                }
            }
            if (round == 0) { // warms caches
                continue;
            }
            toggles.push_back(toggle);
            requests.push_back(reference.request);
            ups.push_back(reference.up);
            references.push_back(reference.request + reference.up);
        }
        std::printf("click-to-connected %.1f\napi-request %.1f\nwg-quick-up %.1f\nreference %.1f\n",
                    median(toggles), median(requests), median(ups), median(references));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "korvel-connect-timing: %s\n", failure.what());
        return 1;
    }
    return 0;
}
