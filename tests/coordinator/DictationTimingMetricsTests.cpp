#include "coordinator/DictationTimingMetrics.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace murmo {
namespace {

TEST(DictationTimingMetrics, ProcessingWatchdogGrowsWithLongRecordingsUpToTheCap) {
    struct Case {
        double recordingSeconds;
        double expectedWatchdogSeconds;
    };
    const std::vector<Case> cases{
        {30, 65},
        {120, 65},
        {200, 85},
        {700, 210},
        {10000, 210},
        {-5, 65},
        {std::numeric_limits<double>::quiet_NaN(), 65},
        {std::numeric_limits<double>::infinity(), 210},
    };
    for (const auto& [recordingSeconds, expected] : cases) {
        EXPECT_DOUBLE_EQ(DictationTimingMetrics::processingWatchdogSecondsFor(recordingSeconds), expected)
            << "recording of " << recordingSeconds << " s";
    }
}

}  // namespace
}  // namespace murmo
