#include "ServerLoad.h"

namespace korvel::api {

ServerLoad serverLoad(const QString& text) {
    // Lowercasing may lengthen the text (U+0130 becomes "i" and a combining dot), so "HİGH" is not "high".
    const QString lowered = text.toLower().normalized(QString::NormalizationForm_C);
    if (lowered == QStringLiteral("high")) {
        return ServerLoad::high;
    }
    if (lowered == QStringLiteral("medium") || lowered == QStringLiteral("med")) {
        return ServerLoad::medium;
    }
    return ServerLoad::low;
}

} // namespace korvel::api
