#include "MaterialIcons.h"

#include <QPainter>
#include <QPixmap>

namespace korvel::ui::materialIcons {

QFont font(int pixelSize, QFont::Weight weight) {
    QFont font(QStringLiteral("Material Icons"));
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

QIcon icon(const QString& name, const QColor& colour, const QColor& activeColour) {
    // Large enough to stay sharp when scaled down to any menu's icon size.
    constexpr int kSide = 64;
    const auto glyph = [&](const QColor& pen) {
        QPixmap pixmap(kSide, kSide);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(font(kSide));
        painter.setPen(pen);
        painter.drawText(pixmap.rect(), Qt::AlignCenter, name);
        return pixmap;
    };
    QIcon icon(glyph(colour));
    icon.addPixmap(glyph(activeColour), QIcon::Active);
    return icon;
}

} // namespace korvel::ui::materialIcons
