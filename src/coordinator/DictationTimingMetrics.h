#pragma once

// How long the engine may take to finish an operation after its release
// before the coordinator gives up on it. Long recordings earn more time, up
// to a cap.

#include <algorithm>
#include <cmath>

namespace murmo::DictationTimingMetrics {

inline constexpr double processingWatchdogSeconds = 65;
inline constexpr double longRecordingThresholdSeconds = 120;
inline constexpr double longRecordingExtensionPerSecond = 0.25;
inline constexpr double maximumProcessingWatchdogSeconds = 210;

// The allowance for a recording `recordingSeconds` long. A negative length
// counts as none; NaN gets the base allowance (fmin ignores a NaN operand).
inline double processingWatchdogSecondsFor(double recordingSeconds) {
    const double excess = recordingSeconds - longRecordingThresholdSeconds;
    const double allowance = excess >= 0 && recordingSeconds >= 0
                                 ? processingWatchdogSeconds + longRecordingExtensionPerSecond * excess
                                 : processingWatchdogSeconds;
    return std::fmin(allowance, maximumProcessingWatchdogSeconds);
}

}  // namespace murmo::DictationTimingMetrics
