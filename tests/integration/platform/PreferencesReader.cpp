// Prints, on one line, what a fresh process reads from the preferences file named by the argument.
#include "SettingsPreferences.h"

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    const korvel::platform::SettingsPreferences read(QString::fromLocal8Bit(argv[argc - 1]));
    const QSet<QString> favoriteSet = read.favoriteHostnames();
    QStringList favorites(favoriteSet.begin(), favoriteSet.end());
    std::sort(favorites.begin(), favorites.end());
    std::printf("%s;%s;%s;%d;%d;%d", qPrintable(favorites.join(u',')),
                qPrintable(read.recentHostnames().join(u',')),
                qPrintable(read.selectedHostname().value_or(QStringLiteral("-"))), read.launchAtLogin(),
                read.autoConnect(), read.showInPanel());
}
