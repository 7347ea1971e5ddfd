#include "BrandPanel.h"

#include "LogoTile.h"
#include "Palette.h"
#include "Typography.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace korvel::ui {
namespace {

constexpr int kWidth = 320;
constexpr int kClusterSide = 220;
constexpr int kLogoSize = 82;
constexpr qreal kLineWidth = 1.5;
constexpr qreal kDotSide = 14;

void strokeEllipse(QPainter& painter, QPointF centre, qreal width, qreal height, qreal opacity) {
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(opacity)), kLineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, width / 2, height / 2);
}

void fillDot(QPainter& painter, QPointF centre, const QColor& colour) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(centre, kDotSide / 2, kDotSide / 2);
}

} // namespace

BrandPanel::BrandPanel(QWidget* parent) : QWidget(parent), cluster_(new QWidget) {
    setFixedWidth(kWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    // The rings and dots are painted by the panel around this square; only the logo is a child.
    cluster_->setFixedSize(kClusterSide, kClusterSide);
    auto* logo = new LogoTile(kLogoSize);
    auto* shadow = new QGraphicsDropShadowEffect(logo);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.22F));
    shadow->setBlurRadius(18);
    shadow->setOffset(0, 8);
    logo->setGraphicsEffect(shadow);
    auto* clusterLayout = new QVBoxLayout(cluster_);
    clusterLayout->setContentsMargins(0, 0, 0, 0);
    clusterLayout->addWidget(logo, 0, Qt::AlignCenter);

    auto* captionBlock = new QWidget;
    auto* captionLayout = new QVBoxLayout(captionBlock);
    captionLayout->setContentsMargins(24, 24, 24, 24);
    captionLayout->setSpacing(2);
    captionLayout->addWidget(
        Typography::wrappingLabel(QStringLiteral("Private by design"), 16, QFont::Bold, Qt::white));
    captionLayout->addWidget(
        Typography::wrappingLabel(QStringLiteral("One click creates an encrypted connection through Korvel."),
                                  12, QFont::Normal, QColor(159, 178, 238)));

    // Equal stretches keep the cluster midway between the top edge and the caption.
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addStretch(1);
    column->addWidget(cluster_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    column->addWidget(captionBlock);
}

void BrandPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient background(rect().topLeft(), rect().bottomRight());
    background.setColorAt(0, palette::navy900);
    background.setColorAt(1, palette::navy700);
    painter.fillRect(rect(), background);

    const QPointF centre = QRectF(cluster_->geometry()).center();
    strokeEllipse(painter, centre, 220, 220, 0.10);
    strokeEllipse(painter, centre, 150, 220, 0.08);
    strokeEllipse(painter, centre, 220, 150, 0.08);
    fillDot(painter, centre + QPointF(-90, -70), palette::cyan400);
    fillDot(painter, centre + QPointF(95, 80), palette::blue400);
}

} // namespace korvel::ui
