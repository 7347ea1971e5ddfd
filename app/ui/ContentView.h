#pragma once

#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace korvel::model {
class AppModel;
}

namespace korvel::ui {

// The window's content: the sign-in screen while signed out, the main shell while signed in, swapped
// as soon as the model's isSignedIn changes. It cannot be made smaller than 560 × 680 signed in, or
// 760 × 680 signed out.
class ContentView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view.
    explicit ContentView(model::AppModel& model, QWidget* parent = nullptr);

private:
    void showScreen();

    model::AppModel& model_;
    QVBoxLayout* layout_;
    std::optional<bool> showsShell_;
    QWidget* screen_ = nullptr;
};

} // namespace korvel::ui
