#pragma once

#include "AppModelOptions.h"
#include "AppSection.h"

#include "ApiClient.h"
#include "Desktop.h"
#include "Device.h"
#include "LoginItem.h"
#include "Preferences.h"
#include "ServerLocation.h"
#include "TokenStore.h"
#include "TunnelController.h"
#include "TunnelState.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace korvel::model {

// The one observable object behind the window and the command line: session, locations, tunnel,
// plan and preferences. Everything runs on the thread that created it, which must run a Qt event loop.
//
// Every property's NOTIFY signal is emitted on every assignment, also of an equal value, after the new
// value is stored. Asynchronous operations return tasks that may be awaited or dropped: they never
// throw, report failures through the model's texts and states, and end quietly when the model is
// destroyed while they wait.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSignedIn READ isSignedIn NOTIFY isSignedInChanged)
    Q_PROPERTY(bool isBusy READ isBusy NOTIFY isBusyChanged)
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(std::optional<QString> authError READ authError NOTIFY authErrorChanged)
    Q_PROPERTY(korvel::tunnel::TunnelState state READ state NOTIFY stateChanged)
    Q_PROPERTY(QList<korvel::api::ServerLocation> locations READ locations NOTIFY locationsChanged)
    Q_PROPERTY(std::optional<korvel::api::ServerLocation> selectedLocation READ selectedLocation WRITE
                   setSelectedLocation NOTIFY selectedLocationChanged)
    Q_PROPERTY(QString selectedLocationLabel READ selectedLocationLabel NOTIFY selectedLocationChanged)
    Q_PROPERTY(QSet<QString> favoriteHostnames READ favoriteHostnames NOTIFY favoriteHostnamesChanged)
    Q_PROPERTY(QStringList recentHostnames READ recentHostnames NOTIFY recentHostnamesChanged)
    Q_PROPERTY(bool serversLoaded READ serversLoaded NOTIFY serversLoadedChanged)
    Q_PROPERTY(double sessionElapsed READ sessionElapsed NOTIFY sessionElapsedChanged)
    Q_PROPERTY(QString sessionTimeText READ sessionTimeText NOTIFY sessionElapsedChanged)
    Q_PROPERTY(korvel::model::AppSection section READ section WRITE setSection NOTIFY sectionChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool autoConnect READ autoConnect WRITE setAutoConnect NOTIFY autoConnectChanged)
    Q_PROPERTY(bool showInPanel READ showInPanel WRITE setShowInPanel NOTIFY showInPanelChanged)
    Q_PROPERTY(std::optional<QString> settingsError READ settingsError NOTIFY settingsErrorChanged)
    Q_PROPERTY(QString protocolLabel READ protocolLabel CONSTANT)
    Q_PROPERTY(bool isFreePlan READ isFreePlan NOTIFY isFreePlanChanged)
    Q_PROPERTY(std::optional<qint64> speedMbps READ speedMbps NOTIFY speedMbpsChanged)
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusLineChanged)
    Q_PROPERTY(std::optional<QString> usageUsedLabel READ usageUsedLabel NOTIFY usageUsedLabelChanged)

public:
    // Runs the start-up sequence: reads the preferences, brings the login item in line with them, starts
    // the state monitor and, when a token is stored, starts restoring the session. The collaborators
    // must outlive the model.
    AppModel(api::TokenStore& tokens, platform::Preferences& preferences, platform::LoginItem& loginItem,
             platform::Desktop& desktop, AppModelOptions options = {}, QObject* parent = nullptr);
    ~AppModel() override;

    bool isSignedIn() const { return isSignedIn_; }
    bool isBusy() const { return isBusy_; }
    const QString& email() const { return email_; }
    void setEmail(QString email);
    const QString& password() const { return password_; }
    void setPassword(QString password);
    const std::optional<QString>& authError() const { return authError_; }
    const tunnel::TunnelState& state() const { return state_; }
    const QList<api::ServerLocation>& locations() const { return locations_; }
    const std::optional<api::ServerLocation>& selectedLocation() const { return selectedLocation_; }
    // Runs the change handler: the choice is stored under "selectedHostname", or removed for none.
    void setSelectedLocation(std::optional<api::ServerLocation> location);
    // The chosen location's name, or "Fastest location (automatic)".
    QString selectedLocationLabel() const;
    const QSet<QString>& favoriteHostnames() const { return favoriteHostnames_; }
    const QStringList& recentHostnames() const { return recentHostnames_; }
    bool serversLoaded() const { return serversLoaded_; }
    double sessionElapsed() const { return sessionElapsed_; }
    // "hh:mm:ss" of sessionElapsed; hours grow past 99.
    QString sessionTimeText() const { return formatSessionTime(sessionElapsed_); }
    AppSection section() const { return section_; }
    void setSection(AppSection section);
    bool launchAtLogin() const { return launchAtLogin_; }
    // Stores the choice, then registers or unregisters the login item.
    void setLaunchAtLogin(bool enabled);
    bool autoConnect() const { return autoConnect_; }
    // Stores the choice; it takes effect at the next sign-in or restore.
    void setAutoConnect(bool enabled);
    bool showInPanel() const { return showInPanel_; }
    // Stores the choice.
    void setShowInPanel(bool enabled);
    const std::optional<QString>& settingsError() const { return settingsError_; }
    QString protocolLabel() const { return QStringLiteral("Our VPN protocol"); }
    bool isFreePlan() const { return isFreePlan_; }
    const std::optional<qint64>& speedMbps() const { return speedMbps_; }
    const QString& statusLine() const { return statusLine_; }
    const std::optional<QString>& usageUsedLabel() const { return usageUsedLabel_; }

    // This computer's device on the account, once signed in.
    const std::optional<api::Device>& device() const { return device_; }
    // The data used this month as the account reports it, once signed in.
    const std::optional<qint64>& bytesUsed() const { return bytesUsed_; }
    // Why the last sign-in could not be kept in the token store; none when it was. Such a session lasts
    // only as long as the model.
    const std::optional<QString>& tokenStoreError() const { return tokenStoreError_; }

    // Signs in with the trimmed email and the password; failures land in authError. Does not check
    // isBusy: the caller keeps a second submission from starting while one runs.
    QCoro::Task<> login();
    // Takes the tunnel down, forgets the token, device, account labels and locations. Keeps
    // favourites, recents, preferences, authError and settingsError.
    QCoro::Task<> signOut();
    // Sets state from whether the tunnel is up, unless busy or showing an error.
    void refreshState();

    // Loads the online locations and reconciles the choice with them; a failure changes nothing.
    QCoro::Task<> loadServers();
    // Chooses a location, or none for automatic; a location also becomes the newest recent one.
    void selectLocation(std::optional<api::ServerLocation> location);
    void toggleFavorite(const api::ServerLocation& location);

    // Connects when not connected, disconnects when connected; does nothing without a device.
    QCoro::Task<> toggle();
    // Takes the tunnel down, signed in or not; a failure shows only in the refreshed state, and its
    // reason goes back to the caller alone.
    QCoro::Task<std::optional<QString>> disconnect();
    // Connects at the chosen location. A tunnel that is up is taken down first, since it does not say
    // where it leads. When it stays up no connect is tried, and the result says why (empty when the
    // service gave no reason); none when the connect went ahead.
    QCoro::Task<std::optional<QString>> connectToSelection();

    // Starts the uninstaller shipped in the resources folder, or reports it missing in settingsError.
    void openUninstaller();
    // Opens an absolute URL with the desktop's default handler; anything else is ignored.
    void open(const QString& address);

    // A session restore from a stored token, from loading it on: one attempt runs at a time. An attempt
    // that could not reach the server keeps the token and is tried again later, until one succeeds, the
    // server refuses, a sign-in succeeds or a sign-out begins.
    bool isRestoring() const { return isRestoring_; }
    bool isRestoreRetryScheduled() const { return restoreRetry_.isActive(); }
    // Why the last restore attempt failed; none after a successful one or when none ran.
    const std::optional<QString>& restoreError() const { return restoreError_; }
    // Completes once no restore attempt is in flight; at once when none is. The model must outlive it.
    QCoro::Task<> waitForRestoreAttempt();

    static QString formatSessionTime(double seconds);

signals:
    void isSignedInChanged();
    void isBusyChanged();
    void emailChanged();
    void passwordChanged();
    void authErrorChanged();
    void stateChanged();
    void locationsChanged();
    void selectedLocationChanged();
    void favoriteHostnamesChanged();
    void recentHostnamesChanged();
    void serversLoadedChanged();
    void sessionElapsedChanged();
    void sectionChanged();
    void launchAtLoginChanged();
    void autoConnectChanged();
    void showInPanelChanged();
    void settingsErrorChanged();
    void isFreePlanChanged();
    void speedMbpsChanged();
    void statusLineChanged();
    void usageUsedLabelChanged();
    // After every restore attempt, whatever its outcome.
    void restoreAttemptEnded();
    // A refresh found the tunnel down while the state was connected, and no operation of the model took
    // it down. The reason is a sentence for the user, when one is known.
    void tunnelLost(const std::optional<QString>& reason);

private:
    // Expires when the model starts being destroyed; a coroutine checks it after every wait.
    using Lifetime = std::weak_ptr<const bool>;

    template <class T>
    void assign(T& field, T value, void (AppModel::*changed)());

    // mayAutoConnect: whether the auto-connect preference applies to this sign-in.
    QCoro::Task<> afterSignIn(bool mayAutoConnect);
    QCoro::Task<> restoreStoredSession();
    QCoro::Task<> restore();
    void stopRestoring();
    void applyUsage(const std::optional<api::Usage>& usage);
    // At start-up a switch-off in the desktop's own settings turns the preference off.
    void applyLaunchAtLoginPreference(bool atStartUp);
    void startSessionTimerIfNeeded();
    void stopSessionTimer();
    void setState(tunnel::TunnelState state);
    void setBusy(bool busy);

    api::TokenStore& tokens_;
    platform::Preferences& preferences_;
    platform::LoginItem& loginItem_;
    platform::Desktop& desktop_;
    QString serviceDefinitionPath_;

    std::unique_ptr<api::ApiClient> api_;
    std::unique_ptr<tunnel::TunnelController> tunnel_;
    std::optional<api::Device> device_;
    std::optional<qint64> bytesUsed_;
    std::optional<QString> tokenStoreError_;

    bool isSignedIn_ = false;
    bool isBusy_ = false;
    QString email_;
    QString password_;
    std::optional<QString> authError_;
    tunnel::TunnelState state_;
    QList<api::ServerLocation> locations_;
    std::optional<api::ServerLocation> selectedLocation_;
    QSet<QString> favoriteHostnames_;
    QStringList recentHostnames_;
    bool serversLoaded_ = false;
    double sessionElapsed_ = 0;
    std::function<std::chrono::nanoseconds()> sessionClock_;
    std::optional<std::chrono::nanoseconds> sessionStart_;
    QTimer sessionTimer_;
    AppSection section_ = AppSection::connect;
    bool launchAtLogin_ = false;
    bool autoConnect_ = false;
    bool showInPanel_ = true;
    std::optional<QString> settingsError_;
    QTimer stateTimer_;
    // Set while disconnect or sign-out takes the tunnel down, so its going is not reported as lost.
    bool takingDown_ = false;
    // When a refresh last saw the tunnel up: on the session clock, and on the steady clock, which stops
    // while the computer sleeps.
    std::optional<std::pair<std::chrono::nanoseconds, std::chrono::nanoseconds>> lastSeenUp_;
    bool isFreePlan_ = false;
    std::optional<qint64> speedMbps_;
    QString statusLine_;
    std::optional<QString> usageUsedLabel_;

    bool isRestoring_ = false;
    // Bumped by sign-in and sign-out, so a restore attempt still in flight leaves the token alone.
    quint64 restoreGeneration_ = 0;
    std::optional<QString> restoreError_;
    QTimer restoreRetry_;
    std::chrono::milliseconds nextRestoreRetry_;
    std::chrono::milliseconds firstRestoreRetry_;
    std::chrono::milliseconds restoreRetryLimit_;
    bool autoConnectAfterRestore_;

    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

} // namespace korvel::model
