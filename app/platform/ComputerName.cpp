#include "ComputerName.h"

#include <QFile>
#include <QSysInfo>

namespace korvel::platform {
namespace {

// machine-info is an environment-style file: KEY=VALUE, where VALUE may be quoted in single or double
// quotes and, unquoted or in double quotes, may escape a character with a backslash.
QString shellValue(QStringView raw) {
    QString value;
    QChar quote;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (!quote.isNull() && c == quote) {
            quote = QChar();
        } else if (c == u'\\' && quote != u'\'' && i + 1 < raw.size()) {
            value += raw[++i];
        } else {
            value += c;
        }
    }
    return value;
}

QString prettyHostName(const QString& machineInfoPath) {
    QFile file(machineInfoPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QString name;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QStringView line : QStringView(text).split(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (trimmed.startsWith(u"PRETTY_HOSTNAME=")) {
            name = shellValue(trimmed.mid(16));
        }
    }
    return name.trimmed();
}

} // namespace

QString ComputerName::current() {
    return read(QStringLiteral("/etc/machine-info"), QSysInfo::machineHostName());
}

QString ComputerName::read(const QString& machineInfoPath, const QString& hostName) {
    if (const QString pretty = prettyHostName(machineInfoPath); !pretty.isEmpty()) {
        return pretty;
    }
    return hostName.isEmpty() ? QStringLiteral("Linux") : hostName;
}

} // namespace korvel::platform
