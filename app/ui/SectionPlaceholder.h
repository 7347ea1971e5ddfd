#pragma once

#include <QWidget>

namespace korvel::ui {

// Stands in for a section whose screen is not built yet: its name, centred in gray.
class SectionPlaceholder : public QWidget {
    Q_OBJECT

public:
    explicit SectionPlaceholder(const QString& name, QWidget* parent = nullptr);
};

} // namespace korvel::ui
