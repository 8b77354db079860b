#include "runtime/Logger.h"

#include <openssl/evp.h>

#include <cstdio>

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

std::string detail::logDigest(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < 4 && i < length; ++i) hex += fmt::format("{:02x}", digest[i]);
    return hex;
}

void StderrLogSink::write(const LogRecord& record) {
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "[%s:%s] %s: %s\n", record.subsystem.c_str(), record.category.c_str(),
                 std::string(levelName(record.level)).c_str(), record.message.c_str());
}

std::shared_ptr<LogSink> StderrLogSink::shared() {
    static const auto sink = std::make_shared<StderrLogSink>();
    return sink;
}

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

Logger::Logger(std::string category, std::shared_ptr<LogSink> sink)
    : category_(std::move(category)), sink_(sink ? std::move(sink) : StderrLogSink::shared()) {}

void Logger::write(LogLevel level, std::string message) const {
    sink_->write(LogRecord{level, std::string(kSubsystem), category_, std::move(message)});
}

}  // namespace murmo
