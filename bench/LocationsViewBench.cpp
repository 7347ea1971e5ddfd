// The locations section over 10,000 locations: one keystroke in the search (filtering, the list's
// update and its repaint), the filtering alone, and the first paint of a freshly entered section.
#include "LocationsView.h"

#include "LocationList.h"
#include "ModelFakes.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <benchmark/benchmark.h>

#include <array>
#include <string>

namespace {

using namespace korvel;

constexpr int kLocations = 10000;

// Sorted, filtered and drawn like real servers: many countries, mixed loads, a few favourites.
std::string servers() {
    static constexpr std::array kCountries{"DE", "FR", "NL", "GB", "US", "CA", "JP", "SE", "CH", "ES",
                                           "IT", "PL", "AT", "BE", "DK", "FI", "NO", "IE", "PT", "CZ",
                                           "AU", "NZ", "SG", "BR", "MX", "AR", "ZA", "IN", "KR", "TR"};
    static constexpr std::array kLoads{"low", "medium", "high"};
    std::string list = "[";
    for (int i = 0; i < kLocations; ++i) {
        list += (i ? "," : "") + std::string(R"({"hostname":"h)") + std::to_string(i) +
                R"(.korvel.example","location":"City )" + std::to_string(i) + R"(","country_code":")" +
                kCountries[i % kCountries.size()] + R"(","status":"online","load":")" +
                kLoads[(i / 7) % kLoads.size()] + R"("})";
    }
    return list + "]";
}

model::AppModel& signedIn(test::ModelRig& rig) {
    rig.api->serve({{"GET servers", {200, test::data(servers())}}});
    model::AppModel& model = rig.start();
    if (!rig.signIn() || model.locations().size() != kLocations) {
        throw std::runtime_error("the model did not load the locations");
    }
    for (int i = 0; i < kLocations; i += 500) {
        model.toggleFavorite(model.locations().at(i));
    }
    return model;
}

// What a person sees after each key: typing "city 12", then clearing the field to start over.
void BM_SearchKeystroke(benchmark::State& state) {
    test::ModelRig rig;
    ui::LocationsView view(signedIn(rig));
    view.resize(560, 627);
    view.show();
    auto* search = view.findChild<QLineEdit*>();
    const QString word = QStringLiteral("city 12");
    for (auto _ : state) {
        if (search->text().size() < word.size()) {
            QTest::keyClick(search, word.at(search->text().size()).toLatin1());
        } else {
            search->clear();
        }
        QCoreApplication::processEvents();
        view.repaint();
    }
}
BENCHMARK(BM_SearchKeystroke)->Unit(benchmark::kMillisecond);

// The list logic alone: a tab (0 recommended, 1 all, 2 recent) and how much of "city 12" is typed.
void BM_Filter(benchmark::State& state) {
    test::ModelRig rig;
    model::AppModel& model = signedIn(rig);
    for (int i = 0; i < 8; ++i) {
        model.selectLocation(model.locations().at(i * 1000));
    }
    const model::LocationList lists;
    const auto tab = model::allLocationTabs.at(static_cast<size_t>(state.range(0)));
    const QString search = QStringLiteral("city 12").left(state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(lists.filtered(tab, search, model.locations(), model.favoriteHostnames(),
                                                model.recentHostnames()));
    }
}
BENCHMARK(BM_Filter)->ArgsProduct({{0, 1, 2}, {0, 1, 7}})->Unit(benchmark::kMillisecond);

// Entering the section: the view is built, laid out and painted once into an image.
void BM_FirstPaint(benchmark::State& state) {
    test::ModelRig rig;
    model::AppModel& model = signedIn(rig);
    for (auto _ : state) {
        ui::LocationsView view(model);
        view.resize(560, 627);
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        view.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_FirstPaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
