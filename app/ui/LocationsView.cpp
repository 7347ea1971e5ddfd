#include "LocationsView.h"

#include "AppModel.h"
#include "LocationListModel.h"
#include "LocationRowDelegate.h"
#include "MaterialIcons.h"
#include "Palette.h"
#include "ScrollColumn.h"
#include "SmartLocationRow.h"
#include "Typography.h"

#include <QBoxLayout>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QTabBar>

namespace korvel::ui {
namespace {

using model::LocationTab;

const QColor kBackground(251, 250, 247);

QLabel* text(const QString& content, const QFont& font, const QColor& colour) {
    auto* label = new QLabel(content);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setFont(font);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    return label;
}

QWidget* searchField(QLineEdit* edit) {
    auto* box = new QFrame;
    box->setObjectName(QStringLiteral("searchBox"));
    box->setStyleSheet(
        QStringLiteral("#searchBox { background: white; border: 1px solid %1; border-radius: 9px; }")
            .arg(palette::gray200.name()));
    auto* symbol = text(QStringLiteral("search"), materialIcons::font(17), palette::gray600);
    edit->setFrame(false);
    edit->setFont(Typography::font(16, QFont::Normal));
    edit->setPlaceholderText(QStringLiteral("Search for country or city"));
    edit->setAccessibleName(QStringLiteral("Search for country or city"));
    QPalette colours = edit->palette();
    colours.setColor(QPalette::Base, Qt::white);
    edit->setPalette(colours);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(13, 10, 13, 10);
    row->setSpacing(8);
    row->addWidget(symbol);
    row->addWidget(edit, 1);
    return box;
}

void styleAsSegments(QTabBar* tabs) {
    tabs->setDrawBase(false);
    tabs->setExpanding(true);
    tabs->setFont(Typography::font(13, QFont::Normal));
    tabs->setStyleSheet(QStringLiteral("QTabBar::tab { color: %1; background: %2; border: 1px solid %3;"
                                       " border-left: none; padding: 4px 12px; }"
                                       "QTabBar::tab:first { border-left: 1px solid %3;"
                                       " border-top-left-radius: 6px; border-bottom-left-radius: 6px; }"
                                       "QTabBar::tab:last { border-top-right-radius: 6px;"
                                       " border-bottom-right-radius: 6px; }"
                                       "QTabBar::tab:selected { background: white; font-weight: 600; }")
                            .arg(palette::navy900.name(), palette::gray50.name(), palette::gray200.name()));
    for (LocationTab tab : model::allLocationTabs) {
        tabs->addTab(model::locationTabTitle(tab));
    }
}

QWidget* divider() {
    auto* line = new QFrame;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette colours = line->palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Midlight));
    line->setPalette(colours);
    return line;
}

} // namespace

LocationsView::LocationsView(model::AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), search_(new QLineEdit), tabs_(new QTabBar),
      smartLocation_(new SmartLocationRow), noServers_(new QWidget), noResults_(new QWidget),
      noResultsSymbol_(text(QString(), materialIcons::font(24), palette::gray400)),
      noResultsText_(text(QString(), Typography::font(13, QFont::DemiBold), palette::gray600)),
      rows_(new LocationListModel(lists_.countryNames(), this)), delegate_(new LocationRowDelegate(this)),
      list_(new QListView) {
    QPalette background = palette();
    background.setColor(QPalette::Window, kBackground);
    setPalette(background);
    setAutoFillBackground(true);

    auto* searchRow = new QVBoxLayout;
    searchRow->setContentsMargins(18, 14, 18, 10);
    searchRow->addWidget(searchField(search_));

    styleAsSegments(tabs_);
    tabs_->setAccessibleName(QStringLiteral("Location category"));
    auto* tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(18, 0, 18, 12);
    tabRow->addWidget(tabs_, 1);

    auto* noServers = new QVBoxLayout(noServers_);
    noServers->setContentsMargins(16, 36, 16, 36);
    noServers->setSpacing(6);
    noServers->addWidget(text(QStringLiteral("No VPN locations are available right now."),
                              Typography::font(13, QFont::DemiBold), palette::navy900));
    noServers->addWidget(text(QStringLiteral("Smart Location will reappear when a server comes online."),
                              Typography::font(12, QFont::Normal), palette::gray600));

    auto* noResults = new QVBoxLayout(noResults_);
    noResults->setContentsMargins(0, 36, 0, 36);
    noResults->setSpacing(7);
    noResults->addWidget(noResultsSymbol_);
    noResults->addWidget(noResultsText_);

    // The list is as tall as its rows and scrolls with the rows above it in one column; it paints only
    // the rows in sight, and with one height for every row it lays out 10,000 of them at once.
    list_->setModel(rows_);
    list_->setItemDelegate(delegate_);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->setAutoFillBackground(false);
    list_->setAccessibleName(QStringLiteral("Locations"));

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(18, 0, 18, 20);
    column->setSpacing(0);
    column->addWidget(smartLocation_);
    column->addWidget(noServers_);
    column->addWidget(noResults_);
    column->addWidget(list_);
    column->addStretch();

    scroll_ = new ScrollColumn(content);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(searchRow);
    layout->addLayout(tabRow);
    layout->addWidget(divider());
    layout->addWidget(scroll_, 1);

    // In the order they are seen; the list is one stop, its arrows move within it.
    setTabOrder(search_, tabs_);
    setTabOrder(tabs_, smartLocation_);
    setTabOrder(smartLocation_, list_);
    for (QWidget* watched : {static_cast<QWidget*>(search_), static_cast<QWidget*>(smartLocation_),
                             static_cast<QWidget*>(list_)}) {
        watched->installEventFilter(this);
    }

    refresh();
    showSelection();
    connect(search_, &QLineEdit::textChanged, this, &LocationsView::refresh);
    connect(tabs_, &QTabBar::currentChanged, this, &LocationsView::refresh);
    connect(smartLocation_, &SmartLocationRow::clicked, this, [this] {
        model_.selectLocation(std::nullopt);
        model_.setSection(model::AppSection::connect);
    });
    connect(delegate_, &LocationRowDelegate::selectRequested, this, &LocationsView::choose);
    connect(delegate_, &LocationRowDelegate::favoriteToggleRequested, this, &LocationsView::toggleFavorite);
    for (auto changed : {&model::AppModel::locationsChanged, &model::AppModel::favoriteHostnamesChanged,
                         &model::AppModel::recentHostnamesChanged, &model::AppModel::serversLoadedChanged}) {
        connect(&model_, changed, this, &LocationsView::refresh);
    }
    connect(&model_, &model::AppModel::selectedLocationChanged, this, &LocationsView::showSelection);
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                rows_->setStarFocus(-1);
                // The list does not scroll itself: the column around it does.
                const QRect row = list_->visualRect(current);
                const QPoint centre = list_->viewport()->mapTo(scroll_->widget(), row.center());
                scroll_->ensureVisible(centre.x(), centre.y(), 0, row.height());
            });
}

bool LocationsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool plain = static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier ||
                       static_cast<QKeyEvent*>(event)->modifiers() == Qt::KeypadModifier;
    if (!plain) {
        return false;
    }
    if (watched == list_) {
        return listKey(key);
    }
    if (key != Qt::Key_Down) {
        return false;
    }
    if (watched == search_ && smartLocation_->isVisible()) {
        smartLocation_->setFocus(Qt::TabFocusReason);
        scroll_->ensureWidgetVisible(smartLocation_);
        return true;
    }
    if (list_->isVisible()) {
        focusList(0);
        return true;
    }
    return false;
}

bool LocationsView::listKey(int key) {
    const int row = list_->currentIndex().row();
    if (row < 0) {
        return false;
    }
    switch (key) {
    case Qt::Key_Up:
        if (row > 0) {
            return false; // the list's own move
        }
        if (smartLocation_->isVisible()) {
            smartLocation_->setFocus(Qt::BacktabFocusReason);
            scroll_->ensureWidgetVisible(smartLocation_);
        } else {
            search_->setFocus(Qt::BacktabFocusReason);
        }
        return true;
    case Qt::Key_Right:
        rows_->setStarFocus(row);
        return true;
    case Qt::Key_Left:
        rows_->setStarFocus(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (rows_->starFocus() == row) {
            toggleFavorite(row);
        } else {
            choose(row);
        }
        return true;
    case LocationListModel::kFavoriteKey:
        toggleFavorite(row);
        return true;
    default:
        return false;
    }
}

void LocationsView::focusList(int row) {
    list_->setFocus(Qt::TabFocusReason);
    list_->setCurrentIndex(rows_->index(row));
}

void LocationsView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!search_->text().isEmpty()) {
        search_->clear();
        search_->setFocus(Qt::OtherFocusReason);
        return;
    }
    model_.setSection(model::AppSection::connect);
}

void LocationsView::refresh() {
    const LocationTab tab = model::allLocationTabs.at(static_cast<size_t>(tabs_->currentIndex()));
    const QString search = search_->text();
    smartLocation_->setVisible(tab == LocationTab::recommended && search.isEmpty());

    const bool noServers = model_.serversLoaded() && model_.locations().isEmpty();
    QList<api::ServerLocation> listed;
    if (!noServers) {
        listed = lists_.filtered(tab, search, model_.locations(), model_.favoriteHostnames(),
                                 model_.recentHostnames());
    }
    const bool noResults = !noServers && listed.isEmpty();
    noServers_->setVisible(noServers);
    noResults_->setVisible(noResults);
    if (noResults) {
        noResultsSymbol_->setText(tab == LocationTab::recent ? QStringLiteral("schedule")
                                                             : QStringLiteral("search"));
        noResultsText_->setText(tab == LocationTab::recent && search.isEmpty()
                                    ? QStringLiteral("No recent locations yet")
                                    : QStringLiteral("No locations match \"%1\"").arg(search));
    }

    // The keyboard stays on the same location (and on its star) when the rows are rebuilt around it,
    // as a favourite moves up the Recommended tab.
    const int current = list_->currentIndex().row();
    const std::optional<QString> currentHost =
        current >= 0 ? std::optional(rows_->location(current).hostname) : std::nullopt;
    const bool onStar = current >= 0 && rows_->starFocus() == current;

    list_->setFixedHeight(static_cast<int>(listed.size()) * delegate_->rowHeight());
    list_->setVisible(!listed.isEmpty());
    rows_->show(std::move(listed), model_.selectedLocation(), model_.favoriteHostnames());

    for (int row = 0; currentHost && row < rows_->rowCount(); ++row) {
        if (rows_->location(row).hostname == *currentHost) {
            list_->setCurrentIndex(rows_->index(row));
            rows_->setStarFocus(onStar ? row : -1);
        }
    }
}

void LocationsView::showSelection() {
    smartLocation_->setSelected(!model_.selectedLocation());
    rows_->setSelected(model_.selectedLocation());
}

void LocationsView::choose(int row) {
    // A copy: choosing changes the recents, which rebuilds the rows.
    const api::ServerLocation location = rows_->location(row);
    model_.selectLocation(location);
    model_.setSection(model::AppSection::connect);
}

void LocationsView::toggleFavorite(int row) {
    const api::ServerLocation location = rows_->location(row);
    model_.toggleFavorite(location);
}

// Given the focus as a whole, the screen passes it on to where the keyboard starts; a focus proxy
// would move both ahead of the toolbar in the Tab order.
void LocationsView::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    search_->setFocus(event->reason());
}

} // namespace korvel::ui
