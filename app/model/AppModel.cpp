#include "AppModel.h"

#include "ApiError.h"
#include "ByteCountText.h"

#include <QFileInfo>
#include <QUrl>

#include <QCoroSignal>

#include <algorithm>
#include <cmath>

namespace korvel::model {
namespace {

using api::ServerLocation;
using tunnel::TunnelState;

const QString kEnterEmailAndPassword = QStringLiteral("Enter your email and password.");
const QString kCouldNotSignIn = QStringLiteral("Could not sign in. Please try again.");
const QString kCouldNotConnect = QStringLiteral("Could not connect. Please try again.");
const QString kServiceMissing =
    QStringLiteral("Korvel's tunnel service is missing. Reinstall Korvel from the installer package.");
const QString kAutomatic = QStringLiteral("Fastest location (automatic)");
const QString kFreePlan = QStringLiteral("Free plan: unlimited data");
const QString kLoginItemFailed =
    QStringLiteral("Korvel could not update Launch at login. Check your desktop's autostart settings.");
const QString kUninstallerMissing =
    QStringLiteral("The uninstaller is missing. Reinstall Korvel to repair it.");
const QString kLostAsleep = QStringLiteral("The tunnel went down while the computer was asleep.");

constexpr int kMaxRecents = 8;

// Tabs and Unicode space separators; line breaks stay.
bool isEmailPadding(QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; }

QString trimmedEmail(const QString& email) {
    qsizetype begin = 0;
    qsizetype end = email.size();
    while (begin < end && isEmailPadding(email[begin])) {
        ++begin;
    }
    while (end > begin && isEmailPadding(email[end - 1])) {
        --end;
    }
    return email.sliced(begin, end - begin);
}

} // namespace

template <class T>
void AppModel::assign(T& field, T value, void (AppModel::*changed)()) {
    field = std::move(value);
    emit(this->*changed)();
}

AppModel::AppModel(api::TokenStore& tokens, platform::Preferences& preferences,
                   platform::LoginItem& loginItem, platform::Desktop& desktop, AppModelOptions options,
                   QObject* parent)
    : QObject(parent), tokens_(tokens), preferences_(preferences), loginItem_(loginItem), desktop_(desktop),
      serviceDefinitionPath_(std::move(options.serviceDefinitionPath)),
      api_(std::make_unique<api::ApiClient>(std::move(options.apiBaseUrl))),
      tunnel_(options.tunnel ? std::move(options.tunnel) : std::make_unique<tunnel::TunnelController>()),
      favoriteHostnames_(preferences.favoriteHostnames()), recentHostnames_(preferences.recentHostnames()),
      sessionClock_(std::move(options.sessionClock)), sessionTimer_(this),
      launchAtLogin_(preferences.launchAtLogin()), autoConnect_(preferences.autoConnect()),
      showInPanel_(preferences.showInPanel()), stateTimer_(this), statusLine_(kFreePlan), restoreRetry_(this),
      nextRestoreRetry_(options.firstRestoreRetry), firstRestoreRetry_(options.firstRestoreRetry),
      restoreRetryLimit_(options.restoreRetryLimit),
      autoConnectAfterRestore_(options.autoConnectAfterRestore) {
    sessionTimer_.setInterval(options.sessionTimerInterval);
    connect(&sessionTimer_, &QTimer::timeout, this, [this] {
        if (sessionStart_) {
            const std::chrono::duration<double> elapsed = sessionClock_() - *sessionStart_;
            assign(sessionElapsed_, elapsed.count(), &AppModel::sessionElapsedChanged);
        }
    });
    stateTimer_.setInterval(options.stateMonitorInterval);
    connect(&stateTimer_, &QTimer::timeout, this, &AppModel::refreshState);
    restoreRetry_.setSingleShot(true);
    connect(&restoreRetry_, &QTimer::timeout, this, [this] { restore(); });

    applyLaunchAtLoginPreference(true);
    stateTimer_.start();
    restoreStoredSession();
}

AppModel::~AppModel() {
    // Before the client and the controller go: aborting their calls resumes coroutines that must see it.
    alive_.reset();
}

void AppModel::setEmail(QString email) { assign(email_, std::move(email), &AppModel::emailChanged); }

void AppModel::setPassword(QString password) {
    assign(password_, std::move(password), &AppModel::passwordChanged);
}

void AppModel::setSelectedLocation(std::optional<ServerLocation> location) {
    assign(selectedLocation_, std::move(location), &AppModel::selectedLocationChanged);
    preferences_.setSelectedHostname(selectedLocation_ ? std::optional(selectedLocation_->hostname)
                                                       : std::nullopt);
}

QString AppModel::selectedLocationLabel() const {
    return selectedLocation_ ? selectedLocation_->location : kAutomatic;
}

void AppModel::setSection(AppSection section) { assign(section_, section, &AppModel::sectionChanged); }

void AppModel::setLaunchAtLogin(bool enabled) {
    assign(launchAtLogin_, enabled, &AppModel::launchAtLoginChanged);
    preferences_.setLaunchAtLogin(enabled);
    applyLaunchAtLoginPreference(false);
}

void AppModel::setAutoConnect(bool enabled) {
    assign(autoConnect_, enabled, &AppModel::autoConnectChanged);
    preferences_.setAutoConnect(enabled);
}

void AppModel::setShowInPanel(bool enabled) {
    assign(showInPanel_, enabled, &AppModel::showInPanelChanged);
    preferences_.setShowInPanel(enabled);
}

void AppModel::setState(TunnelState state) { assign(state_, std::move(state), &AppModel::stateChanged); }

void AppModel::setBusy(bool busy) { assign(isBusy_, busy, &AppModel::isBusyChanged); }

QCoro::Task<> AppModel::login() {
    assign(authError_, std::optional<QString>(), &AppModel::authErrorChanged);
    const QString email = trimmedEmail(email_);
    const QString password = password_;
    if (email.isEmpty() || password.isEmpty()) {
        assign(authError_, std::optional(kEnterEmailAndPassword), &AppModel::authErrorChanged);
        co_return;
    }
    // A restore waiting to try again waits for the sign-in, and goes on if the sign-in does not get through.
    const bool restoreWaiting = restoreRetry_.isActive();
    restoreRetry_.stop();
    const quint64 generation = restoreGeneration_;
    setBusy(true);
    const Lifetime alive = alive_;
    std::optional<QString> failure;
    try {
        const api::TokenResponse response = co_await api_->login(email, password);
        if (alive.expired()) {
            co_return;
        }
        stopRestoring();
        api_->setToken(response.token);
        std::optional<QString> notStored = co_await tokens_.save(response.token);
        if (alive.expired()) {
            co_return;
        }
        tokenStoreError_ = std::move(notStored);
        setPassword(QString());
        co_await afterSignIn(true);
    } catch (const api::ApiError& error) {
        failure = error.message();
    } catch (...) {
        failure = kCouldNotSignIn;
    }
    if (alive.expired()) {
        co_return;
    }
    if (failure) {
        assign(authError_, std::move(failure), &AppModel::authErrorChanged);
        if (restoreWaiting && generation == restoreGeneration_) {
            restoreRetry_.start(nextRestoreRetry_);
        }
    }
    setBusy(false);
}

QCoro::Task<> AppModel::afterSignIn(bool mayAutoConnect) {
    const Lifetime alive = alive_;
    const api::Account account = co_await api_->account();
    if (alive.expired()) {
        co_return;
    }
    applyUsage(account.usage);
    const QList<api::Device> devices = co_await api_->devices();
    if (alive.expired()) {
        co_return;
    }
    QString host = desktop_.computerName();
    if (host.isEmpty()) {
        host = QStringLiteral("Linux");
    }
    const auto mine = std::find_if(devices.begin(), devices.end(),
                                   [&](const api::Device& d) { return d.name.contains(host); });
    if (mine != devices.end()) {
        device_ = *mine;
    } else {
        api::Device created = co_await api_->createDevice(QStringLiteral("Linux (") + host + u')');
        if (alive.expired()) {
            co_return;
        }
        device_ = std::move(created);
    }
    co_await loadServers();
    if (alive.expired()) {
        co_return;
    }
    assign(isSignedIn_, true, &AppModel::isSignedInChanged);
    refreshState();
    if (mayAutoConnect && autoConnect_ && !tunnel_->isUp()) {
        co_await toggle();
    }
}

QCoro::Task<> AppModel::restoreStoredSession() {
    const Lifetime alive = alive_;
    const quint64 generation = restoreGeneration_;
    isRestoring_ = true;
    const std::optional<QString> token = co_await tokens_.load();
    if (alive.expired()) {
        co_return;
    }
    // A token that could not be sent counts as none; a sign-in since the load began owns the session.
    if (token && api::ApiClient::isUsableToken(*token) && generation == restoreGeneration_) {
        api_->setToken(*token);
        co_await restore();
        co_return;
    }
    isRestoring_ = false;
    emit restoreAttemptEnded();
}

QCoro::Task<> AppModel::restore() {
    const Lifetime alive = alive_;
    const quint64 generation = restoreGeneration_;
    isRestoring_ = true;
    std::optional<QString> failure;
    try {
        co_await afterSignIn(autoConnectAfterRestore_);
    } catch (const api::ApiError& error) {
        failure = error.message();
    } catch (...) {
        failure = kCouldNotSignIn;
    }
    if (alive.expired()) {
        co_return;
    }
    restoreError_ = failure;
    // A sign-in or sign-out since the attempt began owns the token now.
    if (failure && generation == restoreGeneration_) {
        if (*failure == api::ApiClient::unreachableMessage()) {
            // Offline is not a verdict on the token: a laptop that starts before its network would
            // otherwise lose its sign-in at every boot.
            restoreRetry_.start(nextRestoreRetry_);
            nextRestoreRetry_ = std::min(nextRestoreRetry_ * 2, restoreRetryLimit_);
        } else {
            api_->setToken(std::nullopt);
            co_await tokens_.remove();
            if (alive.expired()) {
                co_return;
            }
        }
    }
    isRestoring_ = false;
    emit restoreAttemptEnded();
}

void AppModel::stopRestoring() {
    ++restoreGeneration_;
    restoreRetry_.stop();
    nextRestoreRetry_ = firstRestoreRetry_;
}

QCoro::Task<> AppModel::waitForRestoreAttempt() {
    while (isRestoring_) {
        co_await qCoro(this, &AppModel::restoreAttemptEnded);
    }
}

QCoro::Task<> AppModel::signOut() {
    stopRestoring();
    const Lifetime alive = alive_;
    // Not busy while it waits, so the state monitor may see the tunnel go meanwhile.
    takingDown_ = true;
    try {
        co_await tunnel_->disconnect();
    } catch (...) {
        // The tunnel state is read back from the interface; sign-out goes on regardless.
    }
    if (alive.expired()) {
        co_return;
    }
    takingDown_ = false;
    stopSessionTimer();
    api_->setToken(std::nullopt);
    // Awaited last, so the screens show the sign-out at once while the store takes its time.
    QCoro::Task<> removed = tokens_.remove();
    device_.reset();
    bytesUsed_.reset();
    setEmail(QString());
    setPassword(QString());
    assign(isSignedIn_, false, &AppModel::isSignedInChanged);
    setState(TunnelState::disconnected());
    assign(isFreePlan_, false, &AppModel::isFreePlanChanged);
    assign(speedMbps_, std::optional<qint64>(), &AppModel::speedMbpsChanged);
    assign(statusLine_, kFreePlan, &AppModel::statusLineChanged);
    assign(usageUsedLabel_, std::optional<QString>(), &AppModel::usageUsedLabelChanged);
    setSection(AppSection::connect);
    assign(locations_, QList<ServerLocation>(), &AppModel::locationsChanged);
    setSelectedLocation(std::nullopt);
    assign(serversLoaded_, false, &AppModel::serversLoadedChanged);
    co_await std::move(removed);
}

void AppModel::refreshState() {
    if (isBusy_ || state_.kind() == TunnelState::Kind::error) {
        return;
    }
    const bool up = tunnel_->isUp();
    const bool lost = !up && state_.kind() == TunnelState::Kind::connected && !takingDown_;
    setState(up ? TunnelState::connected() : TunnelState::disconnected());
    const auto now = std::pair(sessionClock_(), std::chrono::steady_clock::now().time_since_epoch());
    if (up) {
        startSessionTimerIfNeeded();
        lastSeenUp_ = now;
    } else {
        stopSessionTimer();
    }
    if (lost) {
        // The session clock counts suspended time and the steady clock does not.
        const auto slept = (now.first - lastSeenUp_->first) - (now.second - lastSeenUp_->second);
        emit tunnelLost(slept > std::chrono::seconds(1) ? std::optional(kLostAsleep) : std::nullopt);
    }
}

QCoro::Task<> AppModel::loadServers() {
    const Lifetime alive = alive_;
    std::optional<QList<ServerLocation>> all;
    try {
        all = co_await api_->servers();
    } catch (...) {
        // The previous list stays; the screens show it, or the empty state after a fresh sign-in.
    }
    if (alive.expired() || !all) {
        co_return;
    }
    QList<ServerLocation> online;
    std::copy_if(all->begin(), all->end(), std::back_inserter(online),
                 [](const ServerLocation& l) { return l.status.toLower() == QStringLiteral("online"); });
    assign(locations_, std::move(online), &AppModel::locationsChanged);
    if (!selectedLocation_) {
        if (const std::optional<QString> stored = preferences_.selectedHostname()) {
            const auto match = std::find_if(locations_.begin(), locations_.end(),
                                            [&](const ServerLocation& l) { return l.hostname == *stored; });
            setSelectedLocation(match != locations_.end() ? std::optional(*match) : std::nullopt);
        }
    }
    if (selectedLocation_ && !locations_.contains(*selectedLocation_)) {
        setSelectedLocation(std::nullopt);
    }
    assign(serversLoaded_, true, &AppModel::serversLoadedChanged);
}

void AppModel::selectLocation(std::optional<ServerLocation> location) {
    setSelectedLocation(location);
    if (!location) {
        return;
    }
    QStringList recents = recentHostnames_;
    recents.removeAll(location->hostname);
    recents.prepend(location->hostname);
    if (recents.size() > kMaxRecents) {
        recents.resize(kMaxRecents);
    }
    assign(recentHostnames_, std::move(recents), &AppModel::recentHostnamesChanged);
    preferences_.setRecentHostnames(recentHostnames_);
}

void AppModel::toggleFavorite(const ServerLocation& location) {
    QSet<QString> favorites = favoriteHostnames_;
    if (!favorites.remove(location.hostname)) {
        favorites.insert(location.hostname);
    }
    assign(favoriteHostnames_, std::move(favorites), &AppModel::favoriteHostnamesChanged);
    preferences_.setFavoriteHostnames(favoriteHostnames_);
}

QCoro::Task<> AppModel::toggle() {
    if (!device_) {
        co_return;
    }
    const Lifetime alive = alive_;
    if (state_.kind() == TunnelState::Kind::connected) {
        co_await disconnect();
        co_return;
    }
    if (!QFileInfo::exists(serviceDefinitionPath_)) {
        setState(TunnelState::error(kServiceMissing));
        co_return;
    }
    setBusy(true);
    setState(TunnelState::connecting());
    const std::optional<QString> hostname =
        selectedLocation_ ? std::optional(selectedLocation_->hostname) : std::nullopt;
    const qint64 deviceId = device_->id;
    std::optional<QString> failure;
    try {
        const QString config = co_await api_->wireGuardConfig(deviceId, hostname);
        if (alive.expired()) {
            co_return;
        }
        co_await tunnel_->connect(config);
    } catch (const api::ApiError& error) {
        failure = error.message();
    } catch (...) {
        failure = kCouldNotConnect;
    }
    if (alive.expired()) {
        co_return;
    }
    setBusy(false);
    if (failure) {
        // No refresh: the error stays on screen until the next toggle.
        setState(TunnelState::error(*failure));
        co_return;
    }
    refreshState();
}

QCoro::Task<std::optional<QString>> AppModel::disconnect() {
    const Lifetime alive = alive_;
    setBusy(true);
    // The refresh below shows whatever the interface really is.
    std::optional<QString> failure;
    try {
        co_await tunnel_->disconnect();
    } catch (const api::ApiError& error) {
        failure = error.message();
    } catch (...) {
        failure = QString();
    }
    if (alive.expired()) {
        co_return failure;
    }
    setBusy(false);
    takingDown_ = true;
    refreshState();
    takingDown_ = false;
    co_return failure;
}

QCoro::Task<std::optional<QString>> AppModel::connectToSelection() {
    const Lifetime alive = alive_;
    if (state_.kind() == TunnelState::Kind::connected) {
        const std::optional<QString> failure = co_await disconnect();
        if (alive.expired()) {
            co_return QString();
        }
        if (state_.kind() == TunnelState::Kind::connected) {
            co_return failure.value_or(QString());
        }
    }
    co_await toggle();
    co_return std::nullopt;
}

void AppModel::startSessionTimerIfNeeded() {
    if (sessionTimer_.isActive()) {
        return;
    }
    sessionStart_ = sessionClock_();
    assign(sessionElapsed_, 0.0, &AppModel::sessionElapsedChanged);
    sessionTimer_.start();
}

void AppModel::stopSessionTimer() {
    sessionTimer_.stop();
    sessionStart_.reset();
    assign(sessionElapsed_, 0.0, &AppModel::sessionElapsedChanged);
}

QString AppModel::formatSessionTime(double seconds) {
    const auto t = static_cast<qint64>(std::trunc(seconds));
    const auto field = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QChar(u'0')); };
    return field(t / 3600) + u':' + field(t % 3600 / 60) + u':' + field(t % 60);
}

void AppModel::applyUsage(const std::optional<api::Usage>& usage) {
    bytesUsed_ = usage ? usage->bytesUsed : std::nullopt;
    assign(isFreePlan_, !usage || usage->planIsFree.value_or(true), &AppModel::isFreePlanChanged);
    assign(speedMbps_, usage ? usage->speedMbps : std::nullopt, &AppModel::speedMbpsChanged);
    QString status = QStringLiteral("Premium: full speed");
    if (isFreePlan_) {
        status = speedMbps_ ? kFreePlan + QStringLiteral(", up to %1 Mbps").arg(*speedMbps_) : kFreePlan;
    }
    assign(statusLine_, std::move(status), &AppModel::statusLineChanged);
    std::optional<QString> used;
    if (usage && usage->bytesUsed && *usage->bytesUsed > 0) {
        used = byteCountText(*usage->bytesUsed) + QStringLiteral(" used this month");
    }
    assign(usageUsedLabel_, std::move(used), &AppModel::usageUsedLabelChanged);
}

void AppModel::applyLaunchAtLoginPreference(bool atStartUp) {
    using Status = platform::LoginItem::Status;
    const Status status = loginItem_.status();
    if (atStartUp && launchAtLogin_ && status == Status::switchedOff) {
        // Switched off in the desktop's own settings since the last run: the person's latest answer.
        assign(launchAtLogin_, false, &AppModel::launchAtLoginChanged);
        preferences_.setLaunchAtLogin(false);
    }
    bool succeeded = true;
    if (launchAtLogin_ && status != Status::enabled) {
        succeeded = loginItem_.registerItem();
    } else if (!launchAtLogin_ && status != Status::notRegistered) {
        // Ours to remove, whatever it starts.
        succeeded = loginItem_.unregisterItem();
    }
    // On failure the choice stays as the user made it, so the next start tries again.
    assign(settingsError_, succeeded ? std::nullopt : std::optional(kLoginItemFailed),
           &AppModel::settingsErrorChanged);
}

void AppModel::openUninstaller() {
    const std::optional<QString> resources = desktop_.resourcesFolder();
    const QString tool =
        resources ? *resources + QStringLiteral("/Uninstall Korvel/Uninstall Korvel.tool") : QString();
    if (!resources || !QFileInfo::exists(tool)) {
        assign(settingsError_, std::optional(kUninstallerMissing), &AppModel::settingsErrorChanged);
        return;
    }
    desktop_.startDetached(tool);
}

void AppModel::open(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (url.isValid() && !url.isRelative()) {
        desktop_.openUrl(url);
    }
}

} // namespace korvel::model
