#pragma once

#include <QString>

#include <optional>

namespace korvel::platform {

// Where the installed application's parts lie: <prefix>/bin/korvel and <prefix>/Resources.
class InstalledLayout {
public:
    // The running program's own executable, or empty when the system does not tell.
    static QString runningExecutable();

    // <prefix>/Resources for the executable <prefix>/bin/korvel; none for a path that is not absolute
    // or has no folder above the executable's own.
    static std::optional<QString> resourcesFolder(const QString& executable);
};

} // namespace korvel::platform
