#pragma once

#include <QString>
#include <QWidget>

namespace korvel::ui {

class ElidedLabel;

// One figure of the statistics card: its title in upper case above its value on one line. Stats side by
// side share the width equally.
class SessionStat : public QWidget {
    Q_OBJECT

public:
    SessionStat(const QString& title, const QString& value, QWidget* parent = nullptr);

    QString value() const;
    void setValue(const QString& value);

private:
    ElidedLabel* value_;
};

} // namespace korvel::ui
