#include "runtime/StderrLogSink.h"

#include <cstdio>
#include <string>

namespace murmo {
namespace {

std::string_view levelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::notice: return "notice";
        case LogLevel::error: return "error";
        case LogLevel::fault: return "fault";
    }
    return "info";
}

}  // namespace

void StderrLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "[%s:%s] %s: %s\n", record.subsystem.c_str(), record.category.c_str(),
                 std::string(levelName(record.level)).c_str(), record.message.c_str());
}

std::shared_ptr<LogSink> StderrLogSink::shared() {
    static const auto sink = std::make_shared<StderrLogSink>();
    return sink;
}

}  // namespace murmo
