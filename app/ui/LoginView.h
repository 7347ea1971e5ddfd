#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace korvel::model {
class AppModel;
}

namespace korvel::ui {

// The sign-in screen: the form bound to the model's email and password on the left, BrandPanel on the
// right. It keeps no state of its own; login() decides what a valid sign-in is.
class LoginView : public QWidget {
    Q_OBJECT

public:
    explicit LoginView(model::AppModel& model, QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void signIn();
    void showEmail();
    void showPassword();
    void showBusy();
    void showAuthError();

    model::AppModel& model_;
    QLineEdit* email_;
    QLineEdit* password_;
    QLabel* error_;
    QPushButton* signIn_;
};

} // namespace korvel::ui
