#include "runtime/Logger.h"

#include <openssl/evp.h>

#include "runtime/StderrLogSink.h"

namespace murmo {

std::string detail::logDigest(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < 4 && i < length; ++i) hex += fmt::format("{:02x}", digest[i]);
    return hex;
}

Logger::Logger(std::string category, std::shared_ptr<LogSink> sink)
    : category_(std::move(category)), sink_(sink ? std::move(sink) : StderrLogSink::shared()) {}

void Logger::write(LogLevel level, std::string message) const {
    sink_->write(LogRecord{level, std::string(kSubsystem), category_, std::move(message)});
}

}  // namespace murmo
