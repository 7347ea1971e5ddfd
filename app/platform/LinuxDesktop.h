#pragma once

#include "Desktop.h"
#include "InstalledLayout.h"

namespace korvel::platform {

class LinuxDesktop final : public Desktop {
public:
    // The resources folder is found from the executable's path.
    explicit LinuxDesktop(const QString& executable = InstalledLayout::runningExecutable());

    QString computerName() const override;
    std::optional<QString> resourcesFolder() const override;
    void openUrl(const QUrl& url) override;
    void startDetached(const QString& program) override;

private:
    QString executable_;
};

} // namespace korvel::platform
