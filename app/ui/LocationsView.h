#pragma once

#include "LocationList.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QScrollArea;
class QTabBar;

namespace korvel::model {
class AppModel;
}

namespace korvel::ui {

class LocationListModel;
class LocationRowDelegate;
class SmartLocationRow;

// The locations section: a search field, the Recommended / All / Recent tabs, and a scrolling column
// of the Smart Location row and one row per listed location, or a notice when none is listed. The
// search and the tab live as long as the view; choosing anything returns to the connect section.
// Keyboard: Up and Down move between the search field, the Smart Location row and the rows; Return or
// Space chooses; Right and Left move between a row and its star; F flips a row's favourite; Escape
// clears the search, or when it is empty, returns to the connect section.
class LocationsView : public QWidget {
    Q_OBJECT

public:
    // The model must outlive the view.
    explicit LocationsView(model::AppModel& model, QWidget* parent = nullptr);

protected:
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool listKey(int key);
    void focusList(int row);
    void refresh();
    void showSelection();
    void choose(int row);
    void toggleFavorite(int row);

    model::AppModel& model_;
    model::LocationList lists_;
    QLineEdit* search_;
    QTabBar* tabs_;
    SmartLocationRow* smartLocation_;
    QWidget* noServers_;
    QWidget* noResults_;
    QLabel* noResultsSymbol_;
    QLabel* noResultsText_;
    LocationListModel* rows_;
    LocationRowDelegate* delegate_;
    QListView* list_;
    QScrollArea* scroll_ = nullptr;
};

} // namespace korvel::ui
