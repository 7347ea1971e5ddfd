#include "LoadIndicator.h"

#include "Palette.h"

#include <QPainter>

namespace korvel::ui {
namespace {

constexpr int kBars = 3;
constexpr int kBarWidth = 4;
constexpr int kGap = 3;
constexpr int kHeight = 14;

} // namespace

QSize LoadIndicator::size() { return {kBars * kBarWidth + (kBars - 1) * kGap, kHeight}; }

void LoadIndicator::paint(QPainter& painter, QPoint topLeft) const {
    const int level = static_cast<int>(load_);
    QColor lit;
    switch (load_) {
    case api::ServerLoad::low:
        lit = palette::green500;
        break;
    case api::ServerLoad::medium:
        lit = palette::cyan400;
        break;
    case api::ServerLoad::high:
        lit = palette::red500;
        break;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int bar = 0; bar < kBars; ++bar) {
        const int height = 6 + 4 * bar;
        const QRectF rect(topLeft.x() + bar * (kBarWidth + kGap), topLeft.y() + (kHeight - height) / 2.0,
                          kBarWidth, height);
        painter.setBrush(bar <= level ? lit : palette::gray200);
        painter.drawRoundedRect(rect, 1, 1);
    }
    painter.restore();
}

QString LoadIndicator::toolTip() const {
    switch (load_) {
    case api::ServerLoad::low:
        return QStringLiteral("Low load");
    case api::ServerLoad::medium:
        return QStringLiteral("Medium load");
    case api::ServerLoad::high:
        return QStringLiteral("High load");
    }
    return {};
}

} // namespace korvel::ui
