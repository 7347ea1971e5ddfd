#include "PrimaryButtonStyle.h"

#include "Palette.h"
#include "Screenshot.h"

#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace korvel::ui {
namespace {

TEST(PrimaryButtonStyleTest, StretchesToItsContainerAndLightensOnlyWhileHeldDown) {
    QWidget container;
    auto* layout = new QVBoxLayout(&container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* button = new QPushButton(QStringLiteral("Sign in"));
    layout->addWidget(button);
    PrimaryButtonStyle::apply(*button);
    container.resize(320, 100);
    container.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&container));

    EXPECT_EQ(button->width(), 320);
    EXPECT_EQ(button->font().pixelSize(), 14);
    EXPECT_EQ(button->font().weight(), QFont::DemiBold);
    const QFontMetrics metrics(button->font());
    const QSize label = metrics.size(Qt::TextShowMnemonic, button->text());
    EXPECT_EQ(button->sizeHint(), label + QSize(44, 24));
    EXPECT_EQ(button->height(), label.height() + 24);

    // Left of the label, clear of the rounded corners.
    const QPoint probe(12, button->height() / 2);
    const auto colour = [&] { return button->grab().toImage().pixelColor(probe); };
    EXPECT_EQ(colour(), palette::blue500);
    test::saveScreenshot(container, QStringLiteral("primary-button"));
    QTest::mousePress(button, Qt::LeftButton);
    EXPECT_EQ(colour(), palette::blue400);
    test::saveScreenshot(container, QStringLiteral("primary-button-pressed"));
    QTest::mouseRelease(button, Qt::LeftButton);
    EXPECT_EQ(colour(), palette::blue500);
    // The label is white.
    const QImage image = button->grab().toImage();
    bool white = false;
    for (int x = 0; x < image.width() && !white; ++x) {
        white = image.pixelColor(x, button->height() / 2) == QColor(Qt::white);
    }
    EXPECT_TRUE(white);
}

} // namespace
} // namespace korvel::ui
