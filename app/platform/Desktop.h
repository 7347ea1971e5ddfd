#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace korvel::platform {

// What the application asks of the computer and the desktop session around it.
class Desktop {
public:
    virtual ~Desktop() = default;

    // The name a person gave this computer; never empty.
    virtual QString computerName() const = 0;

    // The installed application's resources folder, or none when it cannot be determined.
    virtual std::optional<QString> resourcesFolder() const = 0;

    // Hands the address to its default handler; whether that succeeds is not known.
    virtual void openUrl(const QUrl& url) = 0;

    // Starts the program at an absolute path, without a shell and without waiting for it.
    virtual void startDetached(const QString& program) = 0;
};

} // namespace korvel::platform
