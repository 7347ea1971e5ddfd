#include "LinuxDesktop.h"

#include "ComputerName.h"

#include <QDesktopServices>
#include <QProcess>

namespace korvel::platform {

LinuxDesktop::LinuxDesktop(const QString& executable) : executable_(executable) {}

QString LinuxDesktop::computerName() const { return ComputerName::current(); }

std::optional<QString> LinuxDesktop::resourcesFolder() const {
    return InstalledLayout::resourcesFolder(executable_);
}

void LinuxDesktop::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void LinuxDesktop::startDetached(const QString& program) { QProcess::startDetached(program, {}); }

} // namespace korvel::platform
