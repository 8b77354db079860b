#pragma once

#include "runtime/Logger.h"

namespace murmo {

// Keeps lines at or above one level; everything by default.
class LevelFilteredLogSink : public LogSink {
public:
    explicit LevelFilteredLogSink(LogLevel minimum = LogLevel::debug) : minimum_(minimum) {}
    bool accepts(LogLevel level) const override { return level >= minimum_; }

private:
    LogLevel minimum_;
};

}  // namespace murmo
