#include "AppModel.h"
#include "ByteCountText.h"

#include <gtest/gtest.h>

namespace korvel::model {
namespace {

TEST(ModelTextTest, SessionTimeTruncatesAndNeverWrapsHours) {
    const std::pair<double, const char*> rows[] = {
        {0, "00:00:00"},    {0.999, "00:00:00"},    {59.9, "00:00:59"},
        {3661, "01:01:01"}, {359999.5, "99:59:59"}, {360000, "100:00:00"},
    };
    for (const auto& [seconds, text] : rows) {
        EXPECT_EQ(AppModel::formatSessionTime(seconds).toStdString(), text) << seconds;
    }
}

TEST(ModelTextTest, ByteCountsUseKilobytesToGigabytesOf1024) {
    constexpr qint64 k = 1024;
    const std::pair<qint64, const char*> rows[] = {
        {1, "1 KB"},
        {512 * k, "512 KB"},
        {1535, "1 KB"},
        {1536, "2 KB"},
        {k * k - 1, "1 MB"},
        {3 * k * k / 2, "1.5 MB"},
        {10 * k * k, "10 MB"},
        {k * k * k - 1, "1 GB"},
        {9 * k * k * k / 4, "2.25 GB"},
        {5 * k * k * k * k, "5120 GB"},
    };
    for (const auto& [bytes, text] : rows) {
        EXPECT_EQ(byteCountText(bytes).toStdString(), text) << bytes;
    }
}

} // namespace
} // namespace korvel::model
