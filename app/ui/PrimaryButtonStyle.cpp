#include "PrimaryButtonStyle.h"

#include "FocusRing.h"
#include "Palette.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleOptionButton>

namespace korvel::ui {
namespace {

constexpr int kVerticalMargin = 12;
constexpr int kHorizontalMargin = 22;
constexpr qreal kCornerRadius = 6;

} // namespace

void PrimaryButtonStyle::apply(QPushButton& button) {
    auto* style = new PrimaryButtonStyle;
    style->setParent(&button);
    QFont font = button.font();
    font.setPixelSize(14);
    font.setWeight(QFont::DemiBold);
    button.setFont(font);
    button.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button.setStyle(style);
}

void PrimaryButtonStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (element != CE_PushButton || button == nullptr) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(button->rect), kCornerRadius, kCornerRadius);
    painter->fillPath(background, button->state & State_Sunken ? palette::blue400 : palette::blue500);
    if (button->state & State_HasFocus) {
        FocusRing::paint(*painter, QRectF(button->rect), kCornerRadius, 3, Qt::white);
    }
    painter->setPen(Qt::white);
    if (widget != nullptr) {
        painter->setFont(widget->font());
    }
    painter->drawText(button->rect, Qt::AlignCenter | Qt::TextShowMnemonic, button->text);
    painter->restore();
}

QSize PrimaryButtonStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                           const QSize& contentsSize, const QWidget* widget) const {
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (type != CT_PushButton || button == nullptr) {
        return QProxyStyle::sizeFromContents(type, option, contentsSize, widget);
    }
    return contentsSize.grownBy(
        QMargins(kHorizontalMargin, kVerticalMargin, kHorizontalMargin, kVerticalMargin));
}

} // namespace korvel::ui
