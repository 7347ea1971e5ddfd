#include "InstalledLayout.h"

#include <QDir>
#include <QFile>

namespace korvel::platform {

QString InstalledLayout::runningExecutable() {
    QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    // An executable replaced by an update while running still names its old path, so marked.
    const QString replaced = QStringLiteral(" (deleted)");
    if (path.endsWith(replaced)) {
        path.chop(replaced.size());
    }
    return path;
}

std::optional<QString> InstalledLayout::resourcesFolder(const QString& executable) {
    if (!QDir::isAbsolutePath(executable)) {
        return std::nullopt;
    }
    const QString clean = QDir::cleanPath(executable);
    const qsizetype binary = clean.lastIndexOf(u'/');
    const qsizetype folder = clean.lastIndexOf(u'/', binary - 1);
    if (binary <= 0 || folder < 0) {
        return std::nullopt;
    }
    return clean.left(folder) + QStringLiteral("/Resources");
}

} // namespace korvel::platform
