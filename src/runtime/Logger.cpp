#include "runtime/Logger.h"

#include "runtime/Sha256.h"
#include "runtime/StderrLogSink.h"

namespace murmo {

std::string detail::logDigest(std::string_view text) {
    // The first four bytes: enough to tell values apart in one log, too
    // few to look the value up.
    return sha256Hex(text).substr(0, 8);
}

Logger::Logger(std::string category, std::shared_ptr<LogSink> sink)
    : category_(std::move(category)), sink_(sink ? std::move(sink) : StderrLogSink::shared()) {}

void Logger::write(LogLevel level, std::string message) const {
    sink_->write(LogRecord{level, std::string(kSubsystem), category_, std::move(message)});
}

}  // namespace murmo
