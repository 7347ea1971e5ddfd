#pragma once

#include <QString>

namespace korvel::model {

// A byte count in KB, MB or GB of 1024 each, whichever keeps the number at least 1 and below 1024:
// whole KB, MB to one decimal, GB to two, without trailing zeros ("512 KB", "1.5 MB", "2.25 GB").
// A positive count never reads as zero.
QString byteCountText(qint64 bytes);

} // namespace korvel::model
