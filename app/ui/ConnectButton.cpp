#include "ConnectButton.h"

#include "FocusRing.h"
#include "MaterialIcons.h"
#include "Palette.h"

#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QPainter>

namespace korvel::ui {
namespace {

// The arc's circle: the size of a large progress indicator.
constexpr int kSpinnerDiameter = 32;
constexpr qreal kSpinnerWidth = 3.5;

} // namespace

ConnectButton::ConnectButton(QWidget* parent) : QAbstractButton(parent), turn_(this) {
    setFixedSize(kDiameter, kDiameter);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.16F));
    shadow->setBlurRadius(22);
    shadow->setOffset(0, 10);
    setGraphicsEffect(shadow);

    turn_.setStartValue(0.0);
    turn_.setEndValue(360.0);
    turn_.setDuration(1000);
    turn_.setLoopCount(-1);
    connect(&turn_, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void ConnectButton::setColor(const QColor& color) {
    color_ = color;
    update();
}

void ConnectButton::setSpinning(bool spinning) {
    spinning_ = spinning;
    // Turning only while shown as spinning, so an idle window wakes nobody.
    if (spinning) {
        turn_.start();
    } else {
        turn_.stop();
    }
    update();
}

QSize ConnectButton::sizeHint() const { return {kDiameter, kDiameter}; }

void ConnectButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(rect()));
    if (hasFocus()) {
        FocusRing::paint(painter, QRectF(rect()), kDiameter / 2.0, 3, palette::blue500);
    }

    if (spinning_) {
        const qreal side = kSpinnerDiameter - kSpinnerWidth;
        const QRectF arc((width() - side) / 2, (height() - side) / 2, side, side);
        painter.setPen(QPen(color_, kSpinnerWidth, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        // Three quarters of the circle, its start turning clockwise; angles in sixteenths of a degree.
        const int start = -static_cast<int>(turn_.currentValue().toReal() * 16);
        painter.drawArc(arc, start, 270 * 16);
        return;
    }
    painter.setFont(materialIcons::font(51, QFont::DemiBold));
    painter.setPen(color_);
    painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("power_settings_new"));
}

void ConnectButton::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool ConnectButton::hitButton(const QPoint& position) const {
    const QPointF offset = QPointF(position) - QRectF(rect()).center();
    const qreal radius = kDiameter / 2.0;
    return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
}

} // namespace korvel::ui
