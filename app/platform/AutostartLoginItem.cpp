#include "AutostartLoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace korvel::platform {
namespace {

const QString markerKey = QStringLiteral("X-Korvel-LoginItem");

// A larger file at our path is not one we wrote.
constexpr qint64 maximumEntrySize = 64 * 1024;

// The Exec value that starts the executable, escaped by the Desktop Entry rules: an argument with
// reserved characters is quoted, "%" is doubled, and the whole value is then escaped as a string. None
// for a path that is not absolute or holds a control character, which no escape can carry.
std::optional<QString> execValue(const QString& executable) {
    if (!QDir::isAbsolutePath(executable)) {
        return std::nullopt;
    }
    for (const QChar c : executable) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return std::nullopt;
        }
    }
    const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    QString argument = executable;
    if (std::any_of(executable.begin(), executable.end(), [&](QChar c) { return reserved.contains(c); })) {
        argument = QStringLiteral("\"");
        for (const QChar c : executable) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') {
                argument += u'\\';
            }
            argument += c;
        }
        argument += u'"';
    }
    argument.replace(u'%', QStringLiteral("%%"));
    argument.replace(u'\\', QStringLiteral("\\\\"));
    return argument;
}

QByteArray entryText(const QString& exec) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Korvel\n"
                          "Exec=%1\n"
                          "Terminal=false\n"
                          "%2=true\n")
        .arg(exec, markerKey)
        .toUtf8();
}

// The keys of the file's [Desktop Entry] group with their values as written; empty when the path holds
// no readable regular file.
QHash<QString, QString> desktopEntryKeys(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray content = file.read(maximumEntrySize + 1);
    if (content.size() > maximumEntrySize) {
        return {};
    }
    QHash<QString, QString> keys;
    bool inEntryGroup = false;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(u'[')) {
            inEntryGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntryGroup || line.startsWith(u'#') || equals < 0) {
            continue;
        }
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key)) {
            keys.insert(key, line.mid(equals + 1).trimmed());
        }
    }
    return keys;
}

} // namespace

QString AutostartLoginItem::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/korvel.desktop");
}

AutostartLoginItem::AutostartLoginItem(const QString& entryPath, const QString& executable)
    : entryPath_(entryPath), exec_(execValue(executable)) {}

AutostartLoginItem::Status AutostartLoginItem::status() const {
    const QHash<QString, QString> keys = desktopEntryKeys(entryPath_);
    if (keys.value(markerKey) != QStringLiteral("true")) {
        return Status::notRegistered;
    }
    if (keys.value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
        keys.value(QStringLiteral("X-GNOME-Autostart-enabled")) == QStringLiteral("false")) {
        return Status::switchedOff;
    }
    return exec_ && keys.value(QStringLiteral("Exec")) == *exec_ ? Status::enabled : Status::startsAnother;
}

bool AutostartLoginItem::registerItem() {
    if (!exec_ || !QDir().mkpath(QFileInfo(entryPath_).absolutePath())) {
        return false;
    }
    QSaveFile file(entryPath_);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(entryText(*exec_));
    return file.commit();
}

bool AutostartLoginItem::unregisterItem() {
    return status() == Status::notRegistered || QFile::remove(entryPath_);
}

} // namespace korvel::platform
