#pragma once

#include <QString>

namespace korvel::platform {

// The name a person gave this computer, as shown in device names on the account.
class ComputerName {
public:
    // PRETTY_HOSTNAME from /etc/machine-info, else the host name, else "Linux".
    static QString current();

    // The same rule over a given machine-info file and host name.
    static QString read(const QString& machineInfoPath, const QString& hostName);
};

} // namespace korvel::platform
