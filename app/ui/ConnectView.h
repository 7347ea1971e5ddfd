#pragma once

#include "AppModel.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace korvel::ui {

class ConnectButton;
class ConnectionBackdrop;
class ElidedLabel;
class SessionStat;

// The connect section: the round button over the backdrop in the tunnel state's colour, the state's
// title and explanation, the chosen location, the session figures while connected, and the plan. It
// shows the model and keeps nothing of its own; its only actions are the model's toggle and a change of
// section.
class ConnectView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view.
    explicit ConnectView(model::AppModel& model, QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showState();
    void showFooter();
    void showLocation();
    void showBusy();
    void placeButton();

    model::AppModel& model_;
    ConnectionBackdrop* backdrop_;
    ConnectButton* button_;
    QLabel* title_;
    QLabel* explanation_;
    QPushButton* locationRow_;
    QLabel* locationCaption_;
    ElidedLabel* location_;
    QWidget* statistics_;
    SessionStat* session_;
    QLabel* statusLine_;
    QLabel* usage_;
    std::optional<tunnel::TunnelState> shownState_;
    bool refocus_ = false;
};

} // namespace korvel::ui
