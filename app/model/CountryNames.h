#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

namespace korvel::model {

// Country names in one locale, from ICU's region display names.
class CountryNames {
public:
    explicit CountryNames(const QLocale& locale = QLocale());

    // The locale's name for the upper-cased code, or the upper-cased code itself when the locale has
    // none or the code is not a region code (two letters or three digits).
    QString name(const QString& countryCode) const;

private:
    QByteArray localeId_;
};

} // namespace korvel::model
