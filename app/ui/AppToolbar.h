#pragma once

#include <QWidget>

class QLabel;
class QMenu;

namespace korvel::model {
class AppModel;
}

namespace korvel::ui {

// The bar above the sections: the navigation menu at the left, the section's title centred across the
// whole bar, the logo at the right.
class AppToolbar : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the toolbar.
    explicit AppToolbar(model::AppModel& model, QWidget* parent = nullptr);

private:
    void showTitle();

    model::AppModel& model_;
    QLabel* title_;
    QMenu* menu_;
};

} // namespace korvel::ui
