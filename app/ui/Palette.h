#pragma once

#include <QColor>

// The colours every screen names, all sRGB and fully opaque.
namespace korvel::ui::palette {

inline const QColor navy900{10, 20, 50};
inline const QColor navy700{26, 42, 94};
inline const QColor blue500{62, 109, 240};
inline const QColor blue400{91, 133, 245};
inline const QColor cyan400{65, 198, 232};
inline const QColor green500{46, 175, 110};
inline const QColor gray50{245, 247, 251};
inline const QColor gray200{212, 219, 232};
inline const QColor gray400{139, 149, 171};
inline const QColor gray600{85, 95, 117};
inline const QColor red500{210, 69, 69};

} // namespace korvel::ui::palette
