// Prints, on one line, what a fresh process reads from the preferences file named by the argument.
#include "SettingsPreferences.h"

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    const korvel::platform::SettingsPreferences read(QString::fromLocal8Bit(argv[argc - 1]));
    const QSet<QString> favoriteSet = read.favoriteHostnames();
    QStringList favorites(favoriteSet.begin(), favoriteSet.end());
    std::sort(favorites.begin(), favorites.end());
    const QStringList fields{favorites.join(u','),
                             read.recentHostnames().join(u','),
                             read.selectedHostname().value_or(QStringLiteral("-")),
                             QString::number(read.launchAtLogin()),
                             QString::number(read.autoConnect()),
                             QString::number(read.showInPanel())};
    std::fputs(fields.join(u';').toUtf8().constData(), stdout);
}
