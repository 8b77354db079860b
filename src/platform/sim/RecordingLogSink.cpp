#include "platform/sim/RecordingLogSink.h"

namespace murmo {

void RecordingLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    records_.push_back(record);
}

std::vector<LogRecord> RecordingLogSink::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

bool RecordingLogSink::contains(std::string_view text) const {
    std::lock_guard lock(mutex_);
    for (const auto& record : records_) {
        if (record.message.find(text) != std::string::npos) return true;
    }
    return false;
}

void RecordingLogSink::clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

}  // namespace murmo
