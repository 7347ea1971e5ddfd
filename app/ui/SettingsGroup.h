#pragma once

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace korvel::ui {

// A titled, framed box of settings rows. The title shows in upper case.
class SettingsGroup : public QWidget {
    Q_OBJECT

public:
    explicit SettingsGroup(const QString& title, QWidget* parent = nullptr);

    // Appends a row below the others; the group takes ownership.
    void addRow(QWidget* row);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* box_;
    QVBoxLayout* rows_;
};

} // namespace korvel::ui
