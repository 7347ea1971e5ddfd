#pragma once

#include "AppSection.h"

#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace korvel::model {
class AppModel;
}

namespace korvel::ui {

// The signed-in window: the toolbar, a divider, and the current section's screen below them.
class MainShell : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the shell.
    explicit MainShell(model::AppModel& model, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSection();

    model::AppModel& model_;
    QVBoxLayout* layout_;
    std::optional<model::AppSection> shownSection_;
    QWidget* content_ = nullptr;
    bool refreshed_ = false;
};

} // namespace korvel::ui
