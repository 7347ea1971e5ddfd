// The locations section over a signed-in model whose server list spans several countries and loads.
#include "LocationsView.h"

#include "LoadIndicator.h"
#include "LocationListModel.h"
#include "LocationRowDelegate.h"
#include "ModelFakes.h"
#include "Palette.h"
#include "Screenshot.h"
#include "SmartLocationRow.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QTabBar>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

using model::AppSection;
using Hosts = QStringList;

std::string entry(const char* host, const char* city, const char* code, const char* load,
                  const char* status = "online") {
    return std::string(R"({"hostname":")") + host + R"(","location":")" + city + R"(","country_code":")" +
           code + R"(","status":")" + status + R"(","load":")" + load + R"("})";
}

// Frankfurt before Berlin in server order; a lower-case city; a code no locale names; one offline.
const std::string kServers =
    "[" + entry("fra", "Frankfurt", "de", "low") + "," + entry("ber", "Berlin", "DE", "high") + "," +
    entry("ams", "amsterdam", "NL", "low") + "," + entry("par", "Paris", "FR", "medium") + "," +
    entry("zur", "Z\\u00fcrich", "CH", "medium") + "," + entry("xx", "Nowhere", "xx", "high") + "," +
    entry("osl", "Oslo", "NO", "low", "offline") + "]";

struct Screen {
    explicit Screen(model::AppModel& model) : view(model) {
        view.resize(560, 627);
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    QListView& list() { return *view.findChild<QListView*>(); }
    QAbstractItemModel& rows() { return *list().model(); }
    QLineEdit& search() { return *view.findChild<QLineEdit*>(); }
    QTabBar& tabs() { return *view.findChild<QTabBar*>(); }
    SmartLocationRow& smart() { return *view.findChild<SmartLocationRow*>(); }
    // The host names of the listed rows, in order, as long as the list is what is shown.
    Hosts hosts() {
        Hosts shown;
        if (!list().isVisible()) {
            return shown;
        }
        auto& listed = static_cast<LocationListModel&>(rows());
        for (int row = 0; row < listed.rowCount(); ++row) {
            shown.append(listed.location(row).hostname);
        }
        return shown;
    }
    int row(const QString& host) { return static_cast<int>(hosts().indexOf(host)); }
    QVariant data(const QString& host, int role) { return rows().data(rows().index(row(host), 0), role); }
    QRect rowRect(const QString& host) {
        QCoreApplication::processEvents();
        return list().visualRect(rows().index(row(host), 0));
    }
    void click(QPoint point) { QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, point); }
    void clickStar(const QString& host) { click(LocationRowDelegate::starArea(rowRect(host)).center()); }
    void chooseTab(int tab) {
        QCoreApplication::processEvents();
        QTest::mouseClick(&tabs(), Qt::LeftButton, {}, tabs().tabRect(tab).center());
    }
    // The visible labels' texts, top to bottom.
    QStringList notices() {
        QStringList texts;
        for (QLabel* label : view.findChildren<QLabel*>()) {
            if (label->isVisible() && label->parentWidget()->objectName() != QStringLiteral("searchBox")) {
                texts.append(label->text());
            }
        }
        return texts;
    }

    LocationsView view;
};

struct SignedIn {
    explicit SignedIn(const std::string& servers = kServers, const Hosts& recents = {}) {
        rig.api->serve({{"GET servers", {200, test::data(servers)}}});
        rig.preferences.setRecentHostnames(recents);
        rig.start();
        EXPECT_TRUE(rig.signIn());
    }
    test::ModelRig rig;
    model::AppModel& model() { return *rig.model; }
};

TEST(LocationsViewTest, EachTabListsItsLocationsInItsOrder) {
    SignedIn session(kServers, {"ams", "gone", "ber"});
    Screen screen(session.model());
    EXPECT_EQ(screen.tabs().accessibleName(), QStringLiteral("Location category"));
    ASSERT_EQ(screen.tabs().count(), 3);

    const struct {
        const char* title;
        Hosts hosts;
        bool smart;
    } tabs[] = {
        // Lighter load first, then the city ignoring case; the offline server nowhere.
        {"Recommended", {"ams", "fra", "par", "zur", "ber", "xx"}, true},
        // By country name only: Frankfurt stays before Berlin; the unnamed code sorts as "XX".
        {"All", {"par", "fra", "ber", "ams", "zur", "xx"}, false},
        // The recents that are still listed, newest first.
        {"Recent", {"ams", "ber"}, false},
    };
    for (int tab = 0; tab < 3; ++tab) {
        screen.chooseTab(tab);
        EXPECT_EQ(screen.tabs().tabText(tab), QString::fromUtf8(tabs[tab].title));
        EXPECT_EQ(screen.hosts(), tabs[tab].hosts) << tabs[tab].title;
        EXPECT_EQ(screen.smart().isVisible(), tabs[tab].smart) << tabs[tab].title;
        test::saveScreenshot(screen.view,
                             QStringLiteral("locations-") + screen.tabs().tabText(tab).toLower());
    }
    screen.chooseTab(0);
    EXPECT_EQ(screen.data("xx", Qt::DisplayRole), QStringLiteral("XX"));
    EXPECT_EQ(screen.data("fra", Qt::DisplayRole), QStringLiteral("Germany"));
    EXPECT_EQ(screen.data("fra", LocationListModel::FlagRole), QStringLiteral("\U0001F1E9\U0001F1EA"));
    EXPECT_EQ(screen.data("ber", LocationListModel::SubtitleRole), QStringLiteral("Berlin"));
}

TEST(LocationsViewTest, SearchIsTrimmedAndMatchesCityCodeOrCountryOnEveryKeystroke) {
    SignedIn session;
    Screen screen(session.model());
    const struct {
        const char* typed;
        Hosts hosts;
    } searches[] = {
        {"  ber\t", {"ber"}},
        {"AMS", {"ams"}},
        {"de", {"fra", "ber"}},                             // the country code
        {"switz", {"zur"}},                                 // the country name
        {"   ", {"ams", "fra", "par", "zur", "ber", "xx"}}, // filters nothing, yet hides Smart Location
        {"zurich", {}},                                     // no accent folding
        {"fra.", {}},                                       // host names are not searched
    };
    for (const auto& search : searches) {
        screen.search().clear();
        QTest::keyClicks(&screen.search(), QString::fromUtf8(search.typed));
        EXPECT_EQ(screen.hosts(), search.hosts) << search.typed;
        EXPECT_FALSE(screen.smart().isVisible()) << search.typed;
    }
    // The notice quotes the search as typed, spaces kept.
    screen.search().setText(QStringLiteral(" zurich "));
    EXPECT_EQ(screen.notices(), QStringList({"search", "No locations match \" zurich \""}));
    test::saveScreenshot(screen.view, QStringLiteral("locations-no-match"));

    // Every key filters again: "n" is in every row, "ne" only in Netherlands.
    screen.search().clear();
    EXPECT_TRUE(screen.smart().isVisible());
    QTest::keyClick(&screen.search(), Qt::Key_N);
    EXPECT_EQ(screen.hosts(), Hosts({"ams", "fra", "par", "zur", "ber", "xx"}));
    QTest::keyClick(&screen.search(), Qt::Key_E);
    EXPECT_EQ(screen.hosts(), Hosts({"ams"}));
    QTest::keyClick(&screen.search(), Qt::Key_Backspace);
    EXPECT_EQ(screen.hosts().size(), 6);
}

TEST(LocationsViewTest, NoticesSayWhyNothingIsListed) {
    {
        SignedIn session;
        Screen screen(session.model());
        screen.chooseTab(2);
        EXPECT_TRUE(screen.hosts().isEmpty());
        EXPECT_EQ(screen.notices(), QStringList({"schedule", "No recent locations yet"}));
        test::saveScreenshot(screen.view, QStringLiteral("locations-no-recents"));
        QTest::keyClicks(&screen.search(), QStringLiteral("x"));
        EXPECT_EQ(screen.notices(), QStringList({"schedule", "No locations match \"x\""}));
    }
    {
        SignedIn session(R"([)" + entry("osl", "Oslo", "NO", "low", "offline") + "]");
        Screen screen(session.model());
        for (int tab = 0; tab < 3; ++tab) {
            screen.chooseTab(tab);
            EXPECT_EQ(screen.notices(),
                      QStringList({"No VPN locations are available right now.",
                                   "Smart Location will reappear when a server comes online."}));
            EXPECT_EQ(screen.smart().isVisible(), tab == 0);
        }
        screen.chooseTab(0);
        test::saveScreenshot(screen.view, QStringLiteral("locations-no-servers"));
    }
}

TEST(LocationsViewTest, StarFlipsTheFavouriteAndTheRecommendedOrderFollows) {
    SignedIn session;
    Screen screen(session.model());
    screen.clickStar(QStringLiteral("ber"));
    EXPECT_EQ(screen.hosts(), Hosts({"ber", "ams", "fra", "par", "zur", "xx"}));
    EXPECT_TRUE(screen.data("ber", LocationListModel::FavoriteRole).toBool());
    screen.clickStar(QStringLiteral("fra")); // favourites among themselves: lighter load first
    EXPECT_EQ(screen.hosts(), Hosts({"fra", "ber", "ams", "par", "zur", "xx"}));
    EXPECT_EQ(session.model().favoriteHostnames(), QSet<QString>({"ber", "fra"}));
    test::saveScreenshot(screen.view, QStringLiteral("locations-favourites"));

    // The star's own colour: blue500 filled for a favourite, gray400 outlined otherwise.
    const QImage image = screen.list().viewport()->grab().toImage();
    const auto starColours = [&](const QString& host) {
        QSet<QRgb> colours;
        const QRect star = LocationRowDelegate::starArea(screen.rowRect(host));
        for (int y = star.top(); y <= star.bottom(); ++y) {
            for (int x = star.left(); x <= star.right(); ++x) {
                colours.insert(image.pixel(x, y));
            }
        }
        return colours;
    };
    EXPECT_TRUE(starColours(QStringLiteral("fra")).contains(palette::blue500.rgb()));
    EXPECT_TRUE(starColours(QStringLiteral("ams")).contains(palette::gray400.rgb()));
    EXPECT_FALSE(starColours(QStringLiteral("ams")).contains(palette::blue500.rgb()));

    screen.clickStar(QStringLiteral("ber"));
    EXPECT_EQ(screen.hosts(), Hosts({"fra", "ams", "par", "zur", "ber", "xx"}));
    EXPECT_EQ(session.model().section(), AppSection::connect); // never left: the view was built there
    EXPECT_EQ(session.model().selectedLocation(), std::nullopt);
}

TEST(LocationsViewTest, MarksOnlyTheChoiceEqualInEveryField) {
    SignedIn session;
    model::AppModel& model = session.model();
    Screen screen(model);
    const auto marked = [&] {
        Hosts hosts;
        for (const QString& host : screen.hosts()) {
            if (screen.data(host, LocationListModel::SelectedRole).toBool()) {
                hosts.append(host);
            }
        }
        return hosts;
    };
    EXPECT_TRUE(screen.smart().isSelected());
    EXPECT_TRUE(marked().isEmpty());

    const api::ServerLocation paris = model.locations().at(3);
    model.selectLocation(paris);
    EXPECT_FALSE(screen.smart().isSelected());
    EXPECT_EQ(marked(), Hosts({"par"}));
    test::saveScreenshot(screen.view, QStringLiteral("locations-selected"));
    // The tint: blue500 at 6 % over the page, next to an unmarked row.
    const QImage image = screen.view.grab().toImage();
    const auto at = [&](const QString& host) {
        const QRect row = screen.rowRect(host);
        return image.pixelColor(
            screen.list().viewport()->mapTo(&screen.view, QPoint(row.left() + 60, row.top() + 3)));
    };
    EXPECT_EQ(at(QStringLiteral("ams")), QColor(251, 250, 247));
    const QColor tint = at(QStringLiteral("par"));
    EXPECT_NEAR(tint.red(), 240, 2);
    EXPECT_NEAR(tint.green(), 242, 2);
    EXPECT_NEAR(tint.blue(), 247, 2);

    api::ServerLocation busier = paris;
    busier.load = QStringLiteral("high");
    model.setSelectedLocation(busier);
    EXPECT_TRUE(marked().isEmpty());
    EXPECT_FALSE(screen.smart().isSelected());
}

TEST(LocationsViewTest, ChoosingARowOrSmartLocationReturnsToConnect) {
    SignedIn session;
    model::AppModel& model = session.model();
    const test::Log before = session.rig.log;
    {
        model.setSection(AppSection::locations);
        Screen screen(model);
        const QRect row = screen.rowRect(QStringLiteral("zur"));
        screen.click({row.left() + 100, row.center().y()});
        ASSERT_TRUE(model.selectedLocation());
        EXPECT_EQ(model.selectedLocation()->hostname, QStringLiteral("zur"));
        EXPECT_EQ(model.recentHostnames(), Hosts({"zur"}));
        EXPECT_EQ(model.section(), AppSection::connect);
        EXPECT_EQ(session.rig.log, before); // choosing never touches the tunnel
    }
    {
        model.setSection(AppSection::locations);
        Screen screen(model);
        EXPECT_FALSE(screen.smart().isSelected());
        QTest::mouseClick(&screen.smart(), Qt::LeftButton, {}, {screen.smart().width() - 5, 5});
        EXPECT_EQ(model.selectedLocation(), std::nullopt);
        EXPECT_EQ(model.recentHostnames(), Hosts({"zur"}));
        EXPECT_EQ(model.section(), AppSection::connect);
    }
    {
        // A press on one row released on another chooses nothing.
        model.setSection(AppSection::locations);
        Screen screen(model);
        QTest::mousePress(screen.list().viewport(), Qt::LeftButton, {}, screen.rowRect("ams").center());
        QTest::mouseRelease(screen.list().viewport(), Qt::LeftButton, {}, screen.rowRect("fra").center());
        EXPECT_EQ(model.selectedLocation(), std::nullopt);
        EXPECT_EQ(model.section(), AppSection::locations);
    }
}

TEST(LocationsViewTest, LoadBarsShowTheLevelInItsColourWithATooltip) {
    const struct {
        api::ServerLoad load;
        QColor lit;
        int bars;
        const char* tip;
    } levels[] = {{api::ServerLoad::low, palette::green500, 1, "Low load"},
                  {api::ServerLoad::medium, palette::cyan400, 2, "Medium load"},
                  {api::ServerLoad::high, palette::red500, 3, "High load"}};
    for (const auto& level : levels) {
        QImage image(LoadIndicator::size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        LoadIndicator(level.load).paint(painter, {0, 0});
        painter.end();
        for (int bar = 0; bar < 3; ++bar) {
            // Bars 6, 10 and 14 high, 4 wide, 3 apart, centred on each other.
            EXPECT_EQ(image.pixelColor(bar * 7 + 2, 7), bar < level.bars ? level.lit : palette::gray200)
                << level.tip << " bar " << bar;
            if (bar < 2) {
                EXPECT_EQ(image.pixelColor(bar * 7 + 2, 3 - 2 * bar).alpha(), 0)
                    << level.tip << " bar " << bar;
                EXPECT_NE(image.pixelColor(bar * 7 + 2, 5 - 2 * bar).alpha(), 0)
                    << level.tip << " bar " << bar;
            }
        }
        EXPECT_EQ(LoadIndicator(level.load).toolTip(), QString::fromUtf8(level.tip));
    }

    SignedIn session;
    Screen screen(session.model());
    const auto* delegate = static_cast<LocationRowDelegate*>(screen.list().itemDelegate());
    const QRect bars = delegate->loadArea(screen.rowRect(QStringLiteral("par")), false);
    QHelpEvent hover(QEvent::ToolTip, bars.center(), screen.list().viewport()->mapToGlobal(bars.center()));
    QCoreApplication::sendEvent(screen.list().viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("Medium load"));
    const QRect row = screen.rowRect(QStringLiteral("par"));
    QHelpEvent elsewhere(QEvent::ToolTip, row.topLeft() + QPoint(60, 5),
                         screen.list().viewport()->mapToGlobal(row.topLeft() + QPoint(60, 5)));
    QCoreApplication::sendEvent(screen.list().viewport(), &elsewhere);
    EXPECT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
}

} // namespace
} // namespace korvel::ui
