#pragma once

#include <memory>
#include <mutex>

#include "runtime/LevelFilteredLogSink.h"

namespace murmo {

// Writes each line to standard error, one at a time.
class StderrLogSink final : public LevelFilteredLogSink {
public:
    using LevelFilteredLogSink::LevelFilteredLogSink;
    void write(const LogRecord& record) override;
    static std::shared_ptr<LogSink> shared();

private:
    std::mutex mutex_;
};

}  // namespace murmo
