#pragma once

#include "AppModel.h"

#include <QWidget>

class QLabel;

namespace korvel::ui {

class SettingsToggleRow;

// The preferences section: the protocol, the two start-up choices, the settings error, the kill switch
// that is not available yet, the panel icon and the uninstaller. It shows the model and keeps nothing of its
// own.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view.
    explicit SettingsView(model::AppModel& model, QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    void showError();

    model::AppModel& model_;
    SettingsToggleRow* autoConnect_;
    SettingsToggleRow* launchAtLogin_;
    SettingsToggleRow* showInPanel_;
    QLabel* error_;
};

} // namespace korvel::ui
