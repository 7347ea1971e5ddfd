#include "LogoTile.h"

#include "Palette.h"
#include "Screenshot.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

namespace korvel::ui {
namespace {

// The tile alone on a transparent canvas, so the rounded corners show.
QImage draw(LogoTile& tile) {
    QImage image(tile.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    tile.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// Within a few steps per channel: strokes meet pixels at fractional positions.
bool near(const QColor& seen, const QColor& expected, int tolerance = 12) {
    return seen.alpha() == 255 && std::abs(seen.red() - expected.red()) <= tolerance &&
           std::abs(seen.green() - expected.green()) <= tolerance &&
           std::abs(seen.blue() - expected.blue()) <= tolerance;
}

TEST(LogoTileTest, PaintsTheLayersAtTheirPlacesOnA28Tile) {
    LogoTile tile(28);
    ASSERT_EQ(tile.size(), QSize(28, 28));
    const QImage image = draw(tile);
    image.save(QStringLiteral(KORVEL_SCREENSHOT_DIR "/logo-tile-28.png"));
    // Grid points × 0.7: the corner radius is 7, so the very corner stays clear.
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(image.pixelColor(27, 27).alpha(), 0);
    const struct {
        QPoint pixel;
        QColor colour;
        const char* what;
    } probes[] = {{{2, 14}, palette::navy900, "background left of the shield"},
                  {{14, 26}, palette::navy900, "background below the shield"},
                  {{14, 14}, palette::blue500, "shield between the arms of the V"},
                  {{7, 15}, palette::blue500, "shield left of the V"},
                  {{11, 14}, Qt::white, "left arm of the V"},
                  {{16, 14}, Qt::white, "right arm of the V"},
                  {{21, 5}, palette::cyan400, "tick's top bar"},
                  {{22, 7}, palette::cyan400, "tick's right bar"}};
    for (const auto& probe : probes) {
        EXPECT_TRUE(near(image.pixelColor(probe.pixel), probe.colour, 40))
            << probe.what << ": " << image.pixelColor(probe.pixel).name().toStdString();
    }
}

TEST(LogoTileTest, FillsANonSquareFrameAndScalesTheFigureByTheShorterSideFromTheTopLeft) {
    LogoTile tile(28);
    tile.setFixedSize(120, 40);
    const QImage image = draw(tile);
    image.save(QStringLiteral(KORVEL_SCREENSHOT_DIR "/logo-tile-120x40.png"));
    // s = 1: the figure keeps its grid size at the left; the navy tile runs on to the right edge.
    EXPECT_TRUE(near(image.pixelColor(20, 20), palette::blue500));
    EXPECT_TRUE(near(image.pixelColor(60, 20), palette::navy900));
    EXPECT_TRUE(near(image.pixelColor(115, 20), palette::navy900));
    EXPECT_TRUE(near(image.pixelColor(30, 8), palette::cyan400, 40));
    // The V's arm is 4.5 wide: its middle is white, 3 units across it is the shield again.
    EXPECT_TRUE(near(image.pixelColor(16, 21), Qt::white, 40));
    EXPECT_TRUE(near(image.pixelColor(13, 23), palette::blue500, 40));
}

} // namespace
} // namespace korvel::ui
