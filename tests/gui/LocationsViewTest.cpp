// The locations section over a signed-in model whose server list spans several countries and loads.
#include "LocationsView.h"

#include "LocationListModel.h"
#include "LocationRowDelegate.h"
#include "ModelFakes.h"
#include "Screenshot.h"
#include "SmartLocationRow.h"

#include <QLineEdit>
#include <QListView>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QToolTip>

namespace korvel::ui {
namespace {

using model::AppSection;
using Hosts = QStringList;

// Frankfurt before Berlin in server order; a lower-case city; a code no locale names; one offline.
const std::string kServers = R"([
    {"hostname":"fra","location":"Frankfurt","country_code":"de","status":"online","load":"low"},
    {"hostname":"ber","location":"Berlin","country_code":"DE","status":"online","load":"high"},
    {"hostname":"ams","location":"amsterdam","country_code":"NL","status":"online","load":"low"},
    {"hostname":"par","location":"Paris","country_code":"FR","status":"online","load":"medium"},
    {"hostname":"zur","location":"Z\u00fcrich","country_code":"CH","status":"online","load":"medium"},
    {"hostname":"xx","location":"Nowhere","country_code":"xx","status":"online","load":"high"},
    {"hostname":"osl","location":"Oslo","country_code":"NO","status":"offline","load":"low"}])";

// A signed-in model over the servers, with its locations section at the smallest window's size.
struct Screen {
    explicit Screen(const std::string& servers = kServers, const Hosts& recents = {}) {
        rig.api->serve({{"GET servers", {200, test::data(servers)}}});
        rig.preferences.setRecentHostnames(recents);
        view.emplace(rig.start());
        EXPECT_TRUE(rig.signIn());
        EXPECT_TRUE(test::shown(*view));
    }
    model::AppModel& model() { return *rig.model; }
    QListView& list() { return *view->findChild<QListView*>(); }
    QLineEdit& search() { return *view->findChild<QLineEdit*>(); }
    QTabBar& tabs() { return *view->findChild<QTabBar*>(); }
    SmartLocationRow& smart() { return *view->findChild<SmartLocationRow*>(); }
    // The host names of the rows the list shows whole (with the role set, if given), in order.
    Hosts hosts(int role = Qt::DisplayRole) {
        QCoreApplication::processEvents();
        Hosts shown;
        auto& listed = *static_cast<LocationListModel*>(list().model());
        for (int row = 0; list().isVisible() && row < listed.rowCount(); ++row) {
            const QModelIndex index = listed.index(row, 0);
            if (list().viewport()->rect().contains(list().visualRect(index)) &&
                (role == Qt::DisplayRole || index.data(role).toBool())) {
                shown.append(listed.location(row).hostname);
            }
        }
        return shown;
    }
    // Scrolled to its end, the column shows the last row whole: nothing around it clips the row.
    bool lastRowShows() {
        QScrollBar& bar = *view->findChild<QScrollArea*>()->verticalScrollBar();
        bar.setValue(bar.maximum());
        const QRect last = list().visualRect(list().model()->index(list().model()->rowCount() - 1, 0));
        return (QRegion(last) - list().viewport()->visibleRegion()).isEmpty();
    }
    QRect rowRect(const QString& host) {
        return list().visualRect(list().model()->index(static_cast<int>(hosts().indexOf(host)), 0));
    }
    void clickStar(const QString& host) {
        QTest::mouseClick(list().viewport(), Qt::LeftButton, {},
                          LocationRowDelegate::starArea(rowRect(host)).center());
    }
    void chooseTab(int tab) {
        QCoreApplication::processEvents();
        QTest::mouseClick(&tabs(), Qt::LeftButton, {}, tabs().tabRect(tab).center());
    }
    // The visible labels' texts, the search box's own left out.
    QStringList notices() {
        QStringList texts;
        for (QLabel* label : view->findChildren<QLabel*>()) {
            if (label->isVisible() && label->parentWidget()->objectName() != QStringLiteral("searchBox")) {
                texts.append(label->text());
            }
        }
        return texts;
    }

    test::ModelRig rig;
    std::optional<LocationsView> view;
};

const Hosts kRecommended{"ams", "fra", "par", "zur", "ber", "xx"};

TEST(LocationsViewTest, EachTabAndSearchListsItsRowsInOrderOrSaysWhyThereAreNone) {
    Screen screen(kServers, {"ams", "gone", "ber"});
    EXPECT_EQ(screen.tabs().accessibleName(), QStringLiteral("Location category"));
    const QStringList none;
    const struct {
        int tab;
        const char* typed;
        Hosts hosts;
        QStringList notices;
    } rows[] = {
        // The order and the matching are the model's; here each tab and the search reach the list.
        {0, "", kRecommended, none},
        {1, "", {"par", "fra", "ber", "ams", "zur", "xx"}, none},
        {2, "", {"ams", "ber"}, none},
        {2, "x", {}, {"schedule", "No locations match \"x\""}},
        {0, "   ", kRecommended, none}, // filters nothing, yet hides Smart Location
        {0, " zurich ", {}, {"search", "No locations match \" zurich \""}}, // quoted as typed
    };
    for (const auto& row : rows) {
        screen.chooseTab(row.tab);
        screen.search().clear();
        QTest::keyClicks(&screen.search(), QString::fromUtf8(row.typed));
        EXPECT_EQ(screen.hosts(), row.hosts) << row.tab << row.typed;
        EXPECT_EQ(screen.notices(), row.notices) << row.tab << row.typed;
        EXPECT_EQ(screen.smart().isVisible(), row.tab == 0 && !*row.typed) << row.tab << row.typed;
        EXPECT_TRUE(row.hosts.isEmpty() || screen.lastRowShows()) << row.tab << row.typed;
        if (!*row.typed) {
            test::saveScreenshot(*screen.view, "locations-" + screen.tabs().tabText(row.tab).toLower());
        }
    }
    test::saveScreenshot(*screen.view, QStringLiteral("locations-no-match"));
    screen.search().clear();
    EXPECT_EQ(screen.list().model()->index(1, 0).data(LocationListModel::FlagRole), // Frankfurt
              QStringLiteral("\U0001F1E9\U0001F1EA"));
}

// The texts are the accessible ones the keyboard walk reads; here, the mouse over each area of a row.
TEST(LocationsViewTest, StarFlipsTheFavouriteOnlyTheExactChoiceIsMarkedAndTooltipsTellEachPart) {
    Screen screen;
    screen.clickStar(QStringLiteral("ber"));
    screen.clickStar(QStringLiteral("par"));
    screen.clickStar(QStringLiteral("ber"));
    EXPECT_EQ(screen.hosts(LocationListModel::FavoriteRole), Hosts({"par"}));
    test::saveScreenshot(*screen.view, QStringLiteral("locations-favourites"));
    EXPECT_EQ(screen.model().section(), AppSection::connect); // never left: the view was built there
    EXPECT_EQ(screen.model().selectedLocation(), std::nullopt);
    EXPECT_TRUE(screen.smart().isSelected() && screen.hosts(LocationListModel::SelectedRole).isEmpty());
    api::ServerLocation paris = screen.model().locations().at(3);
    screen.model().selectLocation(paris);
    EXPECT_FALSE(screen.smart().isSelected());
    EXPECT_EQ(screen.hosts(LocationListModel::SelectedRole), Hosts({"par"}));
    test::saveScreenshot(*screen.view, QStringLiteral("locations-selected"));
    paris.load = QStringLiteral("high"); // equal in every field, or not the choice
    screen.model().setSelectedLocation(paris);
    EXPECT_TRUE(screen.hosts(LocationListModel::SelectedRole).isEmpty());

    const auto* delegate = static_cast<LocationRowDelegate*>(screen.list().itemDelegate());
    const auto tip = [&](QPoint at) {
        QHelpEvent event(QEvent::ToolTip, at, screen.list().viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(screen.list().viewport(), &event);
        return QToolTip::text().toStdString();
    };
    EXPECT_EQ(tip(delegate->loadArea(screen.rowRect("ams"), false).center()), "Low load");
    EXPECT_EQ(tip(LocationRowDelegate::starArea(screen.rowRect("par")).center()),
              "Remove Paris from favourites");
    EXPECT_EQ(tip(screen.rowRect("ber").topLeft() + QPoint(60, 5)), "Press F to add Berlin to favourites");
}

TEST(LocationsViewTest, ChoosingARowOrSmartLocationReturnsToConnectAndWithoutServersTheListSaysSo) {
    Screen screen;
    model::AppModel& model = screen.model();
    screen.chooseTab(2);
    EXPECT_EQ(screen.notices(), QStringList({"schedule", "No recent locations yet"}));
    screen.chooseTab(0);
    // A press on one row released on another chooses nothing; a click does.
    QWidget* rows = screen.list().viewport();
    model.setSection(AppSection::locations);
    QTest::mousePress(rows, Qt::LeftButton, {}, screen.rowRect("ams").center());
    QTest::mouseRelease(rows, Qt::LeftButton, {}, screen.rowRect("fra").center());
    EXPECT_EQ(model.section(), AppSection::locations);
    QTest::mouseClick(rows, Qt::LeftButton, {}, screen.rowRect("zur").center());
    EXPECT_EQ(model.selectedLocation().value_or(api::ServerLocation{}).hostname, QStringLiteral("zur"));
    EXPECT_EQ(model.section(), AppSection::connect);
    model.setSection(AppSection::locations);
    QTest::mouseClick(&screen.smart(), Qt::LeftButton, {}, {screen.smart().width() - 5, 5});
    EXPECT_TRUE(!model.selectedLocation() && model.section() == AppSection::connect);

    screen.rig.api->serve({{"GET servers", {200, test::data("[" + test::server("osl", "offline") + "]")}}});
    ASSERT_TRUE(test::finish(model.loadServers()));
    EXPECT_EQ(screen.notices(), QStringList({"No VPN locations are available right now.",
                                             "Smart Location will reappear when a server comes online."}));
    test::saveScreenshot(*screen.view, QStringLiteral("locations-no-servers"));
}

} // namespace
} // namespace korvel::ui
