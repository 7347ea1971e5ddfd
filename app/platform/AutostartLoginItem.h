#pragma once

#include "InstalledLayout.h"
#include "LoginItem.h"

#include <QString>

#include <optional>

namespace korvel::platform {

// The login item as an XDG autostart entry. The entry is ours when its [Desktop Entry] group carries
// X-Korvel-LoginItem=true; a file at the same path without it belongs to someone else and is never
// removed. Ours is switched off when the desktop says so (Hidden=true, X-GNOME-Autostart-enabled=false),
// and otherwise enabled when it starts this executable; registering again rewrites it.
class AutostartLoginItem final : public LoginItem {
public:
    // $XDG_CONFIG_HOME/autostart/korvel.desktop
    static QString defaultPath();

    explicit AutostartLoginItem(const QString& entryPath = defaultPath(),
                                const QString& executable = InstalledLayout::runningExecutable());

    Status status() const override;
    // Writes the entry atomically, replacing whatever file was there.
    [[nodiscard]] bool registerItem() override;
    // Removes the entry when it is ours; succeeds when none of ours is left.
    [[nodiscard]] bool unregisterItem() override;

private:
    QString entryPath_;
    // The Exec value for the executable, or none when the executable cannot be written into an entry.
    std::optional<QString> exec_;
};

} // namespace korvel::platform
