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

QIcon icon(const QString& name, const QColor& colour) {
    // Large enough to stay sharp when scaled down to any menu's icon size.
    constexpr int kSide = 64;
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font(kSide));
    painter.setPen(colour);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, name);
    painter.end();
    return QIcon(pixmap);
}

} // namespace korvel::ui::materialIcons
