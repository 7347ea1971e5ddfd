#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QString>

// Symbols are ligatures of the Material Icons font: the glyph's name as text in that font draws it.
namespace korvel::ui::materialIcons {

QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
// The named glyph as an icon for menus and buttons; in activeColour where the entry is highlighted.
QIcon icon(const QString& name, const QColor& colour, const QColor& activeColour);

} // namespace korvel::ui::materialIcons
