#pragma once

#include <mutex>
#include <string_view>
#include <vector>

#include "runtime/LevelFilteredLogSink.h"

namespace murmo {

// Keeps records for tests to read.
class RecordingLogSink final : public LevelFilteredLogSink {
public:
    using LevelFilteredLogSink::LevelFilteredLogSink;
    void write(const LogRecord& record) override;
    std::vector<LogRecord> records() const;
    // True when some record's message contains `text`.
    bool contains(std::string_view text) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
};

}  // namespace murmo
